#ifndef BASE_PROCESS_H_
#define BASE_PROCESS_H_

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

namespace base {

struct LaunchOptions {
  bool hide_window = false;     // Start without showing a (console) window.
  bool inherit_handles = false;
};

// Starts `command_line` (program first, quoted as needed). Answers the
// process handle, invalid on failure with the last error set.
ScopedHandle LaunchProcess(const std::wstring& command_line, const LaunchOptions& options,
                           DWORD* process_id = nullptr);

// Waits for the process to end and reads its exit code. Answers false when
// the wait or the read failed.
bool WaitForExitCode(HANDLE process, DWORD* exit_code);

}  // namespace base

#endif  // BASE_PROCESS_H_
