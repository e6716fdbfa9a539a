#ifndef INSTALLER_SECURE_ENVIRONMENT_H_
#define INSTALLER_SECURE_ENVIRONMENT_H_

#include <windows.h>

namespace base {
class OsFacts;
}

namespace installer {

class CommandLine;

// What hardening the DLL search path gave; the values are logged and tested.
enum class SecureEnvironmentResult {
  kRelaunchedCopyFoundDll = 0,  // The copy reported -200, or its code was unreadable.
  kNotSecured = 1,              // Safe search mode or the relaunch failed; go on.
  kSecured = 2,
  kDllBesideExecutable = 3,     // This copy (or elevated child) has a DLL beside it.
  kRelaunchedCopyExited = 4,    // The copy ran; relay its exit code.
};

struct SecureEnvironmentOutcome {
  SecureEnvironmentResult result = SecureEnvironmentResult::kNotSecured;
  DWORD copy_exit_code = 0;  // For results 0 and 4.
};

// Hardens the DLL search path. Where the system lacks the safe search mode,
// runs a copy of this executable from a fresh temporary directory (scheduled
// for deletion at reboot) and waits for it. Runs before the logger exists.
SecureEnvironmentOutcome EnsureSecureEnvironment(const CommandLine& command_line,
                                                 base::OsFacts* os_facts);

}  // namespace installer

#endif  // INSTALLER_SECURE_ENVIRONMENT_H_
