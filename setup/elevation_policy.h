#ifndef SETUP_ELEVATION_POLICY_H_
#define SETUP_ELEVATION_POLICY_H_

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>

#include "base/os_facts.h"
#include "base/command_line.h"
#include "setup/elevated_installer_process.h"

namespace setup {

// When the installer restarts itself elevated (the elevation point).
inline constexpr int kElevateAtInstallStart = 0;  // When the progress view is laid out.
inline constexpr int kElevateAtWindowOpen = 1;
// Never: the setup gets show-uac-at-browser-start and the browser asks.
inline constexpr int kElevateAtBrowserStart = 2;

// Reads one distribution parameter into `value`; false when it is absent.
// DistribInfoParams::Get has this shape; this layer does not see that class.
using DistribParamReader = std::function<bool(const std::string& key, std::string* value)>;

// 0, 1 or 2 after the "uac", "first", "def", "stat" and "statpromo"
// parameters; `system-level` and `program-files-installation` force 0. An
// empty reader counts as no parameters.
int ElevationPoint(const DistribParamReader& read_param,
                   const base::CommandLine& command_line);

// The same for any parameter store with DistribInfoParams's Get; `params`
// may be null.
template <typename Params>
int ElevationPoint(const Params* params, const base::CommandLine& command_line) {
  if (!params)
    return ElevationPoint(DistribParamReader(), command_line);
  return ElevationPoint(
      [params](const std::string& key, std::string* value) { return params->Get(key, value); },
      command_line);
}

// Whether the token of `process` lists the built-in Administrators group,
// enabled or not: a UAC-filtered administrator still counts. False on any
// failure, which is logged.
bool IsUserAnAdminGroup(HANDLE process);

// Whether ConsentPromptBehaviorAdmin in the machine's policy is not 0; a
// missing key or value reads as 0. Logs the value read.
bool AreUACNotificationsEnabled();

// The facts the restart decision reads from the system.
class ElevationFacts {
 public:
  virtual ~ElevationFacts() = default;
  // IsUserAnAdminGroup for this process.
  virtual bool IsUserInAdminGroup() = 0;
  virtual base::OsVersion Version() = 0;
  // IsUserAnAdmin: this process already runs elevated.
  virtual bool IsElevated() = 0;
};

class SystemElevationFacts : public ElevationFacts {
 public:
  // `os_facts` is not owned; null means the process-wide one.
  explicit SystemElevationFacts(base::OsFacts* os_facts = nullptr);
  bool IsUserInAdminGroup() override;
  base::OsVersion Version() override;
  bool IsElevated() override;

 private:
  base::OsFacts* os_facts_;
};

// Whether the installer should restart itself elevated: the user is an
// administrator, the system knows UAC, no non-install switch and no
// `run-as-admin` is given, and a silent run either allows the prompt or
// needs none. Logs the reason of a "no". Window thread.
bool NeedStartThisProcessAsAdmin(const base::CommandLine& command_line,
                                 ElevationFacts* facts);
bool NeedStartThisProcessAsAdmin(const base::CommandLine& command_line);

// Starts the shell's "runas"; ShellExecuteExW's contract. A seam for tests.
using ShellExecuteFunction = std::function<bool(SHELLEXECUTEINFOW* info)>;
bool SystemShellExecute(SHELLEXECUTEINFOW* info);

// The setup command line template for an archive path: the installer's
// BuildSetupCommandLine(path, /*direct_run=*/false), which lives above this layer.
using SetupTemplateBuilder = std::function<base::CommandLine(const std::wstring& archive_path)>;

// The elevated child learns the archive path from the delayed parameters;
// the template names this placeholder instead.
inline constexpr wchar_t kSetupTemplateProgram[] = L"fake_browser_arc";

struct RestartAsAdminResult {
  // The started child, waiting for its go event; null when it did not start.
  std::unique_ptr<ElevatedInstallerProcess> process;
  // The shell answered SE_ERR_ACCESSDENIED: the user refused the prompt.
  bool declined = false;
};

// Restarts this installer elevated with `run-as-admin`, this process's id
// and the setup command line template, behind a prompt owned by a small
// window on the calling thread (the window thread, which must go on
// dispatching messages while the child lives). The child ends when the
// result's process is destroyed unless it was released before. An empty
// `shell_execute` means SystemShellExecute.
RestartAsAdminResult RestartAsAdmin(const base::CommandLine& own_command_line,
                                    const SetupTemplateBuilder& build_setup_template,
                                    const ShellExecuteFunction& shell_execute = {});

}  // namespace setup

#endif  // SETUP_ELEVATION_POLICY_H_
