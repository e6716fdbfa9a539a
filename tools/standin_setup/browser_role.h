#ifndef TOOLS_STANDIN_SETUP_BROWSER_ROLE_H_
#define TOOLS_STANDIN_SETUP_BROWSER_ROLE_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tools/standin_setup/standin_actions.h"
#include "tools/standin_setup/standin_config.h"

namespace standin {

// Plays the running browser: owns a message-only window of the browser's class
// for `config.browser_ms` (less if the window is closed), reports the import
// progress and, when asked to, the close message to the window named by
// `progress-window`, and signals the event named by `ready-event` once its
// window exists. Answers the process
// exit code: 0, or 1 when the window could not be created.
DWORD RunBrowser(const StandinConfig& config, const std::vector<std::wstring>& args,
                 ActionLog* log);

}  // namespace standin

#endif  // TOOLS_STANDIN_SETUP_BROWSER_ROLE_H_
