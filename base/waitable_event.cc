#include "base/waitable_event.h"

namespace base {

WaitableEvent::WaitableEvent(ResetPolicy policy, InitialState state)
    : handle_(::CreateEventW(nullptr, policy == ResetPolicy::kManual,
                             state == InitialState::kSignaled, nullptr)) {}

WaitableEvent::WaitableEvent(ResetPolicy policy, InitialState state, const std::wstring& name)
    : handle_(::CreateEventW(nullptr, policy == ResetPolicy::kManual,
                             state == InitialState::kSignaled, name.c_str())) {}

WaitableEvent::WaitableEvent(ScopedHandle handle) : handle_(std::move(handle)) {}

void WaitableEvent::Signal() {
  ::SetEvent(handle_.get());
}

void WaitableEvent::Reset() {
  ::ResetEvent(handle_.get());
}

bool WaitableEvent::IsSignaled() const {
  return TimedWait(0);
}

bool WaitableEvent::TimedWait(DWORD milliseconds) const {
  return ::WaitForSingleObject(handle_.get(), milliseconds) == WAIT_OBJECT_0;
}

void WaitableEvent::Wait() const {
  TimedWait(INFINITE);
}

}  // namespace base
