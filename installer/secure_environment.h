#ifndef INSTALLER_SECURE_ENVIRONMENT_H_
#define INSTALLER_SECURE_ENVIRONMENT_H_

#include <windows.h>

namespace base {
class CommandLine;
class OsFacts;
}  // namespace base

namespace installer {

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
  // Result 0 only: the copy's exit code could not be read, for `read_error`.
  bool copy_exit_code_unknown = false;
  DWORD read_error = 0;
};

// Hardens the DLL search path. Where the system lacks the safe search mode,
// runs a copy of this executable from a fresh temporary directory, waits for
// it, and deletes the copy and the directory (at the next reboot when that
// fails). Runs before the logger exists.
SecureEnvironmentOutcome EnsureSecureEnvironment(const base::CommandLine& command_line,
                                                 base::OsFacts* os_facts);

// What the relaunched copy's run means: its -200 ends this process too, any
// other code is relayed, and an exit code that could not be read (for
// `read_error`) counts as an unfinished installation (400), never a success.
SecureEnvironmentOutcome RelaunchedCopyOutcome(bool exit_code_read, DWORD exit_code,
                                               DWORD read_error);

}  // namespace installer

#endif  // INSTALLER_SECURE_ENVIRONMENT_H_
