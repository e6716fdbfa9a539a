#ifndef SETUP_INSTALL_OBSERVER_H_
#define SETUP_INSTALL_OBSERVER_H_

#include <windows.h>

#include <cstdint>

namespace setup {

// What an installation run tells the window about its course. Called on the
// installation thread.
class InstallObserver {
 public:
  virtual ~InstallObserver() = default;
  virtual void SetDownloadFraction(float fraction) = 0;
  virtual void OnSlowDownload() = 0;
  virtual void SetRemainingTime(int32_t seconds, int32_t state) = 0;
  // The run is over; the window may close.
  virtual void Finish(int result) = 0;
  // The run failed: `code` 3 when a CryptoPro library stopped the download,
  // 1 for any other failure.
  virtual void OnError(int code) = 0;
  // The progress window's handle, or null without one.
  virtual HWND GetWindowHandle() = 0;
  virtual void SetProgressPercent(int percent) = 0;
  // The setup process started: the window hides its cancel control.
  virtual void OnSetupStarted() = 0;
};

}  // namespace setup

#endif  // SETUP_INSTALL_OBSERVER_H_
