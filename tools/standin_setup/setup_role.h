#ifndef TOOLS_STANDIN_SETUP_SETUP_ROLE_H_
#define TOOLS_STANDIN_SETUP_SETUP_ROLE_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tools/standin_setup/standin_actions.h"
#include "tools/standin_setup/standin_config.h"

namespace standin {

// The switch that starts a copy of the program as the browser.
inline constexpr wchar_t kBrowserRoleSwitch[] = L"tx-standin-browser";

// Where the copy playing the browser is placed: `config.browser_dir`, else the
// per-user application directory a real installation would use.
std::wstring BrowserDirectory(const StandinConfig& config);

// Plays the setup program: reports the configured stages to the window named
// by `progress-window` in `args`, starts the browser copy when asked to, stays
// for `setup_ms` and answers the configured exit code. Recording the command
// line is the caller's job, so that it happens even with a bad configuration.
DWORD RunSetup(const StandinConfig& config, const std::vector<std::wstring>& args,
               ActionLog* log);

}  // namespace standin

#endif  // TOOLS_STANDIN_SETUP_SETUP_ROLE_H_
