#ifndef BASE_WAITABLE_TIMER_H_
#define BASE_WAITABLE_TIMER_H_

#include <windows.h>

#include "base/scoped_handle.h"

namespace base {

// A manual-reset waitable timer: a handle that becomes signalled when the
// time it was armed with runs out, or at once when it is fired. It serves as
// the stop event of work that has a time limit and may also be ended early.
// Arm from one thread; Fire and the waits may come from any thread.
class WaitableTimer {
 public:
  // Not signalled. `is_valid()` is false when no timer could be made.
  WaitableTimer();
  WaitableTimer(const WaitableTimer&) = delete;
  WaitableTimer& operator=(const WaitableTimer&) = delete;

  // Unsignals the timer and lets it fire `milliseconds` from now; false,
  // with the last error set, when the system refused.
  bool Arm(DWORD milliseconds);
  // Signals the timer now, whether it was armed or not.
  void Fire();
  bool IsSignaled() const;

  bool is_valid() const { return handle_.is_valid(); }
  HANDLE handle() const { return handle_.get(); }

 private:
  ScopedHandle handle_;
};

}  // namespace base

#endif  // BASE_WAITABLE_TIMER_H_
