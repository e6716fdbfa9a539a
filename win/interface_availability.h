#ifndef WIN_INTERFACE_AVAILABILITY_H_
#define WIN_INTERFACE_AVAILABILITY_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/os_facts.h"
#include "base/scoped_handle.h"

namespace base {
class Clock;
}  // namespace base

namespace win {

// How the probe went; the value reported to the setup carries it in its
// billions digit. Contract with the setup: never renumbered.
enum class ProbeOutcome : uint32_t {
  kAvailable = 0,    // Probe not needed, or the interface is available.
  kCrashed = 1,      // The child ended with a negative exit code.
  kUnavailable = 2,  // The child reported the interface unavailable.
  kTimedOut = 3,     // The child did not finish in time and was ended.
  kNotRun = 4,       // No executable, no start, or an unexpected exit code.
};

// The child's time limit.
constexpr DWORD kProbeTimeoutMs = 3000;
// The exit code a child gets when it is ended for taking too long.
constexpr UINT kProbeTerminationExitCode = 22;

// outcome * 1,000,000,000 + build * 10,000 + update revision, where a build
// from 29,497 and a revision from 7,296 on count as 0, so that the value
// always fits 32 bits.
uint32_t AvailabilityValue(ProbeOutcome outcome, const base::OsVersion& version);

bool IsWindows10OrLater(const base::OsVersion& version);

// Whether this Windows 10 release may lack the interface the setup needs;
// later ones (above build 17703, or 17134 after revision 318) all have it.
bool NeedsProbe(const base::OsVersion& version);

// Starting, waiting for and ending the probe's child process; tests replace
// it.
class ProbeProcessLauncher {
 public:
  virtual ~ProbeProcessLauncher() = default;
  virtual bool FileExists(const std::wstring& path) = 0;
  // The started process, invalid (with the last error set) on failure.
  virtual base::ScopedHandle Launch(const std::wstring& command_line) = 0;
  virtual bool Terminate(HANDLE process, UINT exit_code) = 0;
  virtual bool ExitCode(HANDLE process, DWORD* exit_code) = 0;
};

// CreateProcessW, TerminateProcess and GetExitCodeProcess.
class SystemProbeProcessLauncher : public ProbeProcessLauncher {
 public:
  bool FileExists(const std::wstring& path) override;
  base::ScopedHandle Launch(const std::wstring& command_line) override;
  bool Terminate(HANDLE process, UINT exit_code) override;
  bool ExitCode(HANDLE process, DWORD* exit_code) override;
};

// The parent side of the probe: runs `executable` with `check-the-interface`
// where the release needs it, under a time limit, so that a crash or hang
// of the shell's interface hits the child and not the installation. Blocks
// the calling thread for up to 3 seconds.
class InterfaceAvailabilityCheck {
 public:
  // Nothing is owned; all must outlive the check.
  InterfaceAvailabilityCheck(std::wstring executable, base::OsFacts* os_facts, base::Clock* clock,
                             ProbeProcessLauncher* launcher);

  // Before Windows 10: false, `availability` untouched. Otherwise answers
  // whether the setup may rely on the interface and sets `availability`
  // (see AvailabilityValue). Every failure is logged as a warning.
  bool Run(uint32_t* availability);

 private:
  std::wstring executable_;
  base::OsFacts* os_facts_;
  base::Clock* clock_;
  ProbeProcessLauncher* launcher_;
};

// The check with this executable (the module's own path, never what the
// command line claims), the real system and the real clock.
bool IsInternalInterfaceAvailableSafeCheck(uint32_t* availability);

}  // namespace win

#endif  // WIN_INTERFACE_AVAILABILITY_H_
