// exit_code_launcher.exe <program> [arguments...]
//
// Starts the program, waits for it and prints its exit code as a signed 32-bit
// decimal on stdout ("exit_code=-200"). Wine hands a Linux parent only the low
// 8 bits of a Windows exit code, so tests read the full code from here. Exits
// with 0 when the program ran and its code was read, else 1 with a message on
// stderr.
//
// The program's command line is the rest of this one, taken verbatim, so its
// arguments arrive exactly as this program received them.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/process.h"
#include "base/string_conv.h"

namespace {

// Skips the program name the way CommandLineToArgvW reads it (quoted up to the
// next quote, else up to a blank), then the blanks after it.
std::wstring_view CommandLineAfterProgram(std::wstring_view command_line) {
  size_t i = 0;
  if (!command_line.empty() && command_line[0] == L'"') {
    size_t quote = command_line.find(L'"', 1);
    i = quote == std::wstring_view::npos ? command_line.size() : quote + 1;
  } else {
    while (i < command_line.size() && command_line[i] != L' ' && command_line[i] != L'\t')
      ++i;
  }
  while (i < command_line.size() && (command_line[i] == L' ' || command_line[i] == L'\t'))
    ++i;
  return command_line.substr(i);
}

int Fail(const std::wstring& message, DWORD error) {
  std::fprintf(stderr, "exit_code_launcher: %s, error %lu\n",
               base::WideToUtf8(message).c_str(), error);
  return 1;
}

}  // namespace

int wmain() {
  std::wstring child(CommandLineAfterProgram(::GetCommandLineW()));
  if (child.empty()) {
    std::fprintf(stderr, "usage: exit_code_launcher.exe <program> [arguments...]\n");
    return 1;
  }
  base::LaunchOptions options;
  options.inherit_handles = true;  // Lets a console program share our stdout and stderr.
  base::ScopedHandle process = base::LaunchProcess(child, options);
  if (!process.is_valid())
    return Fail(L"cannot start " + child, ::GetLastError());
  DWORD exit_code = 0;
  if (!base::WaitForExitCode(process.get(), &exit_code))
    return Fail(L"cannot read the exit code of " + child, ::GetLastError());
  std::printf("exit_code=%ld\n", static_cast<long>(static_cast<int32_t>(exit_code)));
  std::fflush(stdout);
  return 0;
}
