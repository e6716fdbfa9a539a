#include "base/process.h"

#include <vector>

namespace base {

ScopedHandle LaunchProcess(const std::wstring& command_line, const LaunchOptions& options,
                           DWORD* process_id) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  DWORD flags = 0;
  if (options.hide_window) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    flags |= CREATE_NO_WINDOW;
  }
  // CreateProcessW may write into the command line buffer.
  std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
  buffer.push_back(L'\0');
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, options.inherit_handles,
                        flags, nullptr, nullptr, &startup, &info)) {
    return ScopedHandle();
  }
  ScopedHandle thread(info.hThread);
  if (process_id)
    *process_id = info.dwProcessId;
  return ScopedHandle(info.hProcess);
}

bool WaitForExitCode(HANDLE process, DWORD* exit_code) {
  if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0)
    return false;
  return ::GetExitCodeProcess(process, exit_code) != 0;
}

}  // namespace base
