#include "win/check_mode.h"

#include <windows.h>

#include "base/command_line.h"
#include "base/installer_switches.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_com_initializer.h"
#include "base/test_hooks.h"
#include "setup/exit_code.h"
#include "win/association_shell.h"
#include "win/default_browser_probe.h"
#include "win/interface_availability.h"

namespace win {

int RunCheckTheInterface(const base::CommandLine& command_line, base::OsFacts* os_facts) {
#if defined(TX_TEST_HOOKS)
  // Plays a shell whose interface hangs the caller, for the parent's limit.
  if (!base::TestHookValue(L"TX_TEST_PROBE_HANG").empty())
    ::Sleep(INFINITE);
#endif
  base::ScopedComInitializer com;
  if (!com.succeeded()) {
    PLOG(ERROR) << "CoInitializeEx failed";
    return setup::ToInt(setup::ExitCode::INTERFACE_NOT_AVAILABLE);
  }
  SystemAssociationShell shell;
  // The same number the parent reports to the setup, outcome aside.
  const uint32_t version_code = AvailabilityValue(ProbeOutcome::kAvailable, os_facts->Version());
  DefaultBrowserProbe probe(&shell, command_line.HasSwitch(base::switches::kVerboseLogging),
                            version_code);
  return setup::ToInt(probe.Run() ? setup::ExitCode::INTERFACE_AVAILABLE
                                  : setup::ExitCode::INTERFACE_NOT_AVAILABLE);
}

}  // namespace win
