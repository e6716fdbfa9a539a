#include "base/waitable_timer.h"

namespace base {

namespace {

// Negative due times are relative, in 100-nanosecond units.
bool SetDueIn(HANDLE timer, LONGLONG hundred_ns) {
  LARGE_INTEGER due;
  due.QuadPart = -hundred_ns;
  return ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != 0;
}

}  // namespace

WaitableTimer::WaitableTimer()
    : handle_(::CreateWaitableTimerW(nullptr, /*bManualReset=*/TRUE, nullptr)) {}

bool WaitableTimer::Arm(DWORD milliseconds) {
  // Setting a timer unsignals it.
  return SetDueIn(handle_.get(), static_cast<LONGLONG>(milliseconds) * 10000);
}

void WaitableTimer::Fire() {
  SetDueIn(handle_.get(), 1);
}

bool WaitableTimer::IsSignaled() const {
  return ::WaitForSingleObject(handle_.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace base
