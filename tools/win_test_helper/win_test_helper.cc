// Plays the Windows-side counterparts that end-to-end tests need: another
// process holding a named mutex or a file, or a parent installer that owns
// the elevation events. Prints "ready" once its object exists, so a test can
// start the installer after it.
//
//   win_test_helper hold-mutex <name> <milliseconds>
//   win_test_helper abandon-mutex <name>       (exits while owning it)
//   win_test_helper lock-file <path> <milliseconds>
//   win_test_helper elevation <go|cancel|exit|none> <delay ms> <program> [args...]
//       creates the go and cancel events, starts the program, signals the named
//       event after the delay ("exit": ends itself instead, as a parent that
//       quits first), waits, and prints "exit_code=<signed decimal>".
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "base/process.h"
#include "base/scoped_handle.h"
#include "installer/command_line.h"
#include "installer/elevated_child.h"

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

int AbandonMutex(const wchar_t* name) {
  HANDLE mutex = ::CreateMutexW(nullptr, TRUE, name);
  if (!mutex)
    return 1;
  Ready();
  // Ending the process while owning the mutex abandons it.
  ::ExitProcess(0);
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

int Elevation(const std::wstring& which, DWORD delay, int argc, wchar_t** argv) {
  base::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, installer::kElevationGoEventName));
  base::ScopedHandle cancel(
      ::CreateEventW(nullptr, TRUE, FALSE, installer::kElevationCancelEventName));
  std::wstring command = installer::QuoteArgument(argv[0]);
  for (int i = 1; i < argc; ++i)
    command += L" " + installer::QuoteArgument(argv[i]);
  base::ScopedHandle child = base::LaunchProcess(command, {});
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
  DWORD code = 0;
  if (!base::WaitForExitCode(child.get(), &code))
    return 1;
  std::printf("exit_code=%ld\n", static_cast<long>(static_cast<int32_t>(code)));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3)
    return Usage();
  std::wstring command = argv[1];
  if (command == L"hold-mutex" && argc == 4)
    return HoldMutex(argv[2], std::wcstoul(argv[3], nullptr, 10));
  if (command == L"abandon-mutex")
    return AbandonMutex(argv[2]);
  if (command == L"lock-file" && argc == 4)
    return LockFile(argv[2], std::wcstoul(argv[3], nullptr, 10));
  if (command == L"elevation" && argc >= 5)
    return Elevation(argv[2], std::wcstoul(argv[3], nullptr, 10), argc - 4, argv + 4);
  return Usage();
}
