#ifndef SETUP_ELEVATED_INSTALLER_PROCESS_H_
#define SETUP_ELEVATED_INSTALLER_PROCESS_H_

#include <windows.h>

#include <cstdint>

#include "base/scoped_handle.h"

namespace setup {

// Names of the events through which a parent installer releases (go) or
// stops (cancel) its elevated child. The parent creates them.
inline constexpr wchar_t kElevationGoEventName[] = L"0c0f0f0d-6434-4cfd-a5e9-23e9ca4d94b6";
inline constexpr wchar_t kElevationCancelEventName[] = L"fef32d6d-67e9-4654-b314-6c72098ff5d1";

// The elevated copy of the installer as its parent sees it: started early,
// waiting for the go event, and given 30 seconds to end once cancelled.
// Used on the installation thread; the destructor may run on another. The
// prompt's owner window belongs to the window thread, which destroys it
// (see DestroyWindowOnOwnerThread).
class ElevatedInstallerProcess {
 public:
  // Creates (or opens) the go and cancel events.
  ElevatedInstallerProcess();
  // Signals cancel unless released, then EnsureProcessFinished.
  virtual ~ElevatedInstallerProcess();
  ElevatedInstallerProcess(const ElevatedInstallerProcess&) = delete;
  ElevatedInstallerProcess& operator=(const ElevatedInstallerProcess&) = delete;

  // Takes the started child and the owner window of its prompt (may be null;
  // owned from now on, whichever thread created it).
  virtual void SetProcessAndWindow(base::ScopedHandle process, HWND window);
  // Releases the child with the go event and waits for it. True exactly
  // when the child ended with exit code 0. After `stop_event` the child
  // still gets the finish timeout to end (the setup may ask the window to
  // close before it exits); one that does not is terminated.
  virtual bool RunModule(HANDLE stop_event);
  // Waits up to `timeout_ms` for the child, then terminates it; closes
  // everything.
  virtual void EnsureProcessFinished(DWORD timeout_ms = kFinishTimeoutMs);

  void set_finish_timeout_ms(DWORD timeout_ms) { finish_timeout_ms_ = timeout_ms; }
  bool released() const { return released_; }
  bool terminated() const { return terminated_; }
  uint32_t exit_code() const { return exit_code_; }

  static constexpr DWORD kFinishTimeoutMs = 30000;

 private:
  base::ScopedHandle process_;
  HWND window_ = nullptr;
  base::ScopedHandle go_event_;
  base::ScopedHandle cancel_event_;
  bool released_ = false;
  bool terminated_ = false;
  uint32_t exit_code_ = 0xFFFFFFFF;
  DWORD finish_timeout_ms_ = kFinishTimeoutMs;
};

// Destroys `window` (may be null) from any thread: at once on the thread
// that created it, otherwise through a posted WM_CLOSE that the owner thread
// carries out when it next dispatches messages.
void DestroyWindowOnOwnerThread(HWND window);

}  // namespace setup

#endif  // SETUP_ELEVATED_INSTALLER_PROCESS_H_
