#include "installer/forwarding_observer.h"

namespace installer {

void ForwardingObserver::SetRemainingTime(int32_t seconds, int32_t state) {
  ::PostMessageW(window_, kRemainingTimeMessage, static_cast<WPARAM>(seconds),
                 static_cast<LPARAM>(state));
}

void ForwardingObserver::SetProgressPercent(int percent) {
  ::PostMessageW(window_, kProgressMessage, static_cast<WPARAM>(percent), 0);
}

void ForwardingObserver::OnSetupStarted() {
  // The window is the parent process's: a synchronous call would wait for
  // its thread, which may itself be waiting for this process to end.
  ::ShowWindowAsync(::GetDlgItem(window_, kCancelControlId), SW_HIDE);
}

}  // namespace installer
