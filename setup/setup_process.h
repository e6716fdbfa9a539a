#ifndef SETUP_SETUP_PROCESS_H_
#define SETUP_SETUP_PROCESS_H_

#include <windows.h>

#include <string>

namespace setup {

class InstallObserver;

// Starts `command_line` without a window and waits for it without limit.
// `*exit_code` is 400 until the process's own code is read. `observer` (may
// be null) hears progress 40 and the setup start. `*created` (may be null)
// tells whether the process was started at all. Answers true when the
// process ran and its exit code was read.
bool RunModuleAndWait(const wchar_t* application, const std::wstring& command_line,
                      int* exit_code, InstallObserver* observer,
                      bool* created = nullptr);

}  // namespace setup

#endif  // SETUP_SETUP_PROCESS_H_
