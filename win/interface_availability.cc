#include "win/interface_availability.h"

#include <utility>

#include "base/clock.h"
#include "base/command_line.h"
#include "base/file_util.h"
#include "base/installer_switches.h"
#include "base/logging.h"
#include "base/process.h"
#include "setup/exit_code.h"

namespace win {

namespace {

constexpr char kFunction[] = "IsInternalInterfaceAvailableSafeCheck";
constexpr char kFailed[] = "Failed to check Win10 internal interface availability";

constexpr uint32_t kBuildLimit = 29497;
constexpr uint32_t kRevisionLimit = 7296;

}  // namespace

uint32_t AvailabilityValue(ProbeOutcome outcome, const base::OsVersion& version) {
  const uint32_t build = version.build < kBuildLimit ? version.build : 0;
  const uint32_t revision = version.update_revision < kRevisionLimit ? version.update_revision : 0;
  return static_cast<uint32_t>(outcome) * 1000000000u + build * 10000u + revision;
}

bool IsWindows10OrLater(const base::OsVersion& version) {
  return version.major >= 10;
}

bool NeedsProbe(const base::OsVersion& version) {
  if (version.build > 17703)
    return false;
  return !(version.build == 17134 && version.update_revision > 318);
}

bool SystemProbeProcessLauncher::FileExists(const std::wstring& path) {
  return base::FileExists(path);
}

base::ScopedHandle SystemProbeProcessLauncher::Launch(const std::wstring& command_line) {
  return base::LaunchProcess(command_line, base::LaunchOptions());
}

bool SystemProbeProcessLauncher::Terminate(HANDLE process, UINT exit_code) {
  return ::TerminateProcess(process, exit_code) != 0;
}

bool SystemProbeProcessLauncher::ExitCode(HANDLE process, DWORD* exit_code) {
  return ::GetExitCodeProcess(process, exit_code) != 0;
}

InterfaceAvailabilityCheck::InterfaceAvailabilityCheck(std::wstring executable,
                                                       base::OsFacts* os_facts,
                                                       base::Clock* clock,
                                                       ProbeProcessLauncher* launcher)
    : executable_(std::move(executable)),
      os_facts_(os_facts),
      clock_(clock),
      launcher_(launcher) {}

bool InterfaceAvailabilityCheck::Run(uint32_t* availability) {
  const base::OsVersion version = os_facts_->Version();
  if (!IsWindows10OrLater(version))
    return false;
  *availability = AvailabilityValue(ProbeOutcome::kAvailable, version);
  if (!NeedsProbe(version))
    return true;

  auto fail = [&](ProbeOutcome outcome) {
    *availability = AvailabilityValue(outcome, version);
    return false;
  };
  if (executable_.empty() || !launcher_->FileExists(executable_)) {
    PLOG_AS(kFunction, WARNING) << kFailed << ": " << "can't get installer exe path.";
    return fail(ProbeOutcome::kNotRun);
  }
  base::CommandLine child(executable_);
  child.AppendSwitch(base::switches::kCheckTheInterface);
  const std::wstring command_line = child.Format();
  base::ScopedHandle process = launcher_->Launch(command_line);
  if (!process.is_valid()) {
    PLOG_AS(kFunction, WARNING) << kFailed << ": " << "can't run installer: " << command_line;
    return fail(ProbeOutcome::kNotRun);
  }

  // The wait answers true only when the child has ended.
  if (!clock_->WaitForEvent(process.get(), kProbeTimeoutMs)) {
    launcher_->Terminate(process.get(), kProbeTerminationExitCode);
    PLOG_AS(kFunction, WARNING) << kFailed << ", " << " installer was terminated by timeout.";
    return fail(ProbeOutcome::kTimedOut);
  }
  DWORD exit_code = 0;
  if (!launcher_->ExitCode(process.get(), &exit_code)) {
    PLOG_AS(kFunction, WARNING) << kFailed << ", unknown ret code: (unreadable)";
    return fail(ProbeOutcome::kNotRun);
  }
  const int code = static_cast<int>(exit_code);
  if (code < 0) {
    PLOG_AS(kFunction, WARNING) << kFailed << "," << " ret code: " << code
                                << ", installer crashed";
    return fail(ProbeOutcome::kCrashed);
  }
  const bool available = code == setup::ToInt(setup::ExitCode::INTERFACE_AVAILABLE);
  if (available || code == setup::ToInt(setup::ExitCode::INTERFACE_NOT_AVAILABLE)) {
    LOG_AS(kFunction, INFO) << "Successfuly checked Win10 internal interface availability: "
                            << "availability: " << (available ? 1 : 0);
    return available ? true : fail(ProbeOutcome::kUnavailable);
  }
  PLOG_AS(kFunction, WARNING) << kFailed << ", unknown ret code: " << code;
  return fail(ProbeOutcome::kNotRun);
}

bool IsInternalInterfaceAvailableSafeCheck(uint32_t* availability) {
  static SystemProbeProcessLauncher launcher;
  InterfaceAvailabilityCheck check(base::GetExecutablePath(), base::GetOsFacts(),
                                   base::DefaultClock(), &launcher);
  return check.Run(availability);
}

}  // namespace win
