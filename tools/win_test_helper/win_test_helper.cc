// Plays the Windows-side counterparts that end-to-end tests need: another
// process holding a named mutex or a file, or a parent installer that owns
// the elevation events. Prints "ready" once its object exists, so a test can
// start the installer after it.
//
//   win_test_helper hold-mutex <name> <milliseconds>
//   win_test_helper abandon-mutex <name> <milliseconds>
//       a thread takes the mutex and ends while owning it; the process keeps
//       a handle for the given time, so the abandoned mutex lives on.
//   win_test_helper lock-file <path> <milliseconds>
//   win_test_helper elevation <go|cancel|exit|none> <delay ms> <program> [args...]
//       creates the go and cancel events, starts the program ("{pid}" in an
//       argument becomes this process's id), signals the named
//       event after the delay ("exit": ends itself instead, as a parent that
//       quits first), waits, and prints "exit_code=<signed decimal>".
//   win_test_helper open-write <path>
//       tries to open the file for writing, as something that wants to
//       replace it would, and prints "open_error=<code>" (0: it could).
//   win_test_helper run [NAME=VALUE...] -- <program> [args...]
//       sets the variables (an empty VALUE removes one), runs the program,
//       waits, and prints "exit_code=<signed decimal>". Wine takes TMP and
//       TEMP from the prefix's registry, so tests change them here instead.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "base/process.h"
#include "base/scoped_handle.h"
#include "base/command_line.h"
#include "setup/elevated_installer_process.h"

namespace {

void Ready() {
  std::printf("ready\n");
  std::fflush(stdout);
}

int Usage() {
  std::fprintf(stderr, "usage: see the header of win_test_helper.cc\n");
  return 2;
}

int HoldMutex(const wchar_t* name, DWORD ms) {
  base::ScopedHandle mutex(::CreateMutexW(nullptr, TRUE, name));
  if (!mutex.is_valid())
    return 1;
  Ready();
  ::Sleep(ms);
  ::ReleaseMutex(mutex.get());
  return 0;
}

DWORD WINAPI TakeAndAbandon(void* name) {
  // Ending the thread while owning the mutex abandons it. The mutex exists
  // already, so it has to be taken by a wait.
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, static_cast<const wchar_t*>(name));
  ::WaitForSingleObject(mutex, INFINITE);
  return 0;
}

int AbandonMutex(const wchar_t* name, DWORD ms) {
  base::ScopedHandle keep(::CreateMutexW(nullptr, FALSE, name));
  base::ScopedHandle thread(
      ::CreateThread(nullptr, 0, &TakeAndAbandon, const_cast<wchar_t*>(name), 0, nullptr));
  if (!keep.is_valid() || !thread.is_valid())
    return 1;
  ::WaitForSingleObject(thread.get(), INFINITE);
  Ready();
  ::Sleep(ms);
  return 0;
}

int LockFile(const wchar_t* path, DWORD ms) {
  base::ScopedHandle file(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_ALWAYS, 0, nullptr));
  if (!file.is_valid())
    return 1;
  Ready();
  ::Sleep(ms);
  return 0;
}

std::wstring JoinArguments(int argc, wchar_t** argv) {
  std::wstring pid = std::to_wstring(::GetCurrentProcessId());
  std::wstring command;
  for (int i = 0; i < argc; ++i) {
    std::wstring argument = argv[i];
    for (size_t at; (at = argument.find(L"{pid}")) != std::wstring::npos;)
      argument.replace(at, 5, pid);
    command += (i ? L" " : L"") + base::QuoteArgument(argument);
  }
  return command;
}

int PrintExitCode(HANDLE process) {
  DWORD code = 0;
  if (!base::WaitForExitCode(process, &code))
    return 1;
  std::printf("exit_code=%ld\n", static_cast<long>(static_cast<int32_t>(code)));
  return 0;
}

int Run(int argc, wchar_t** argv) {
  int i = 0;
  for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) {
    std::wstring assignment = argv[i];
    size_t equals = assignment.find(L'=');
    if (equals == std::wstring::npos)
      return Usage();
    std::wstring value = assignment.substr(equals + 1);
    ::SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                              value.empty() ? nullptr : value.c_str());
  }
  if (i + 1 >= argc)
    return Usage();
  base::ScopedHandle child = base::LaunchProcess(JoinArguments(argc - i - 1, argv + i + 1), {});
  if (!child.is_valid())
    return 1;
  return PrintExitCode(child.get());
}

int Elevation(const std::wstring& which, DWORD delay, int argc, wchar_t** argv) {
  base::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, setup::kElevationGoEventName));
  base::ScopedHandle cancel(
      ::CreateEventW(nullptr, TRUE, FALSE, setup::kElevationCancelEventName));
  base::ScopedHandle child = base::LaunchProcess(JoinArguments(argc, argv), {});
  if (!child.is_valid())
    return 1;
  Ready();
  if (::WaitForSingleObject(child.get(), delay) == WAIT_TIMEOUT) {
    if (which == L"go")
      ::SetEvent(go.get());
    else if (which == L"cancel")
      ::SetEvent(cancel.get());
    else if (which == L"exit")
      ::ExitProcess(0);
  }
  return PrintExitCode(child.get());
}

}  // namespace

int OpenWrite(const wchar_t* path) {
  base::ScopedHandle file(::CreateFileW(path, GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  std::printf("open_error=%lu\n", file.is_valid() ? 0ul : ::GetLastError());
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3)
    return Usage();
  std::wstring command = argv[1];
  if (command == L"hold-mutex" && argc == 4)
    return HoldMutex(argv[2], std::wcstoul(argv[3], nullptr, 10));
  if (command == L"abandon-mutex" && argc == 4)
    return AbandonMutex(argv[2], std::wcstoul(argv[3], nullptr, 10));
  if (command == L"lock-file" && argc == 4)
    return LockFile(argv[2], std::wcstoul(argv[3], nullptr, 10));
  if (command == L"open-write")
    return OpenWrite(argv[2]);
  if (command == L"run")
    return Run(argc - 2, argv + 2);
  if (command == L"elevation" && argc >= 5)
    return Elevation(argv[2], std::wcstoul(argv[3], nullptr, 10), argc - 4, argv + 4);
  return Usage();
}
