#ifndef INSTALLER_FORWARDING_OBSERVER_H_
#define INSTALLER_FORWARDING_OBSERVER_H_

#include <windows.h>

#include "setup/install_observer.h"

namespace installer {

// The elevated child's observer: posts the setup's progress to the parent's
// window, which lives in another process.
class ForwardingObserver : public setup::InstallObserver {
 public:
  static constexpr UINT kProgressMessage = WM_APP + 100;
  static constexpr UINT kRemainingTimeMessage = WM_APP + 101;
  static constexpr int kCancelControlId = 1009;

  explicit ForwardingObserver(HWND window) : window_(window) {}

  void SetDownloadFraction(float) override {}
  void OnSlowDownload() override {}
  void SetRemainingTime(int32_t seconds, int32_t state) override;
  void Finish(int) override {}
  void OnError(int) override {}
  HWND GetWindowHandle() override { return window_; }
  void SetProgressPercent(int percent) override;
  void OnSetupStarted() override;

 private:
  HWND window_;
};

}  // namespace installer

#endif  // INSTALLER_FORWARDING_OBSERVER_H_
