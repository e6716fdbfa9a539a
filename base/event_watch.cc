#include "base/event_watch.h"

#include <utility>

namespace base {

EventWatch::EventWatch(HANDLE event, std::function<void()> on_signal)
    : event_(event), on_signal_(std::move(on_signal)) {
  if (!event_)
    return;
  // An event signalled already is known from the first question on.
  if (::WaitForSingleObject(event_, 0) == WAIT_OBJECT_0) {
    signaled_ = true;
    if (on_signal_)
      on_signal_();
    return;
  }
  if (!::RegisterWaitForSingleObject(&wait_, event_, &EventWatch::OnSignaled, this, INFINITE,
                                     WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD)) {
    wait_ = nullptr;
  }
}

EventWatch::~EventWatch() {
  if (wait_)
    ::UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
}

bool EventWatch::IsSignaled() const {
  if (signaled_.load(std::memory_order_acquire))
    return true;
  return event_ && !wait_ && ::WaitForSingleObject(event_, 0) == WAIT_OBJECT_0;
}

void CALLBACK EventWatch::OnSignaled(void* self, BOOLEAN timed_out) {
  if (timed_out)
    return;
  auto* watch = static_cast<EventWatch*>(self);
  watch->signaled_.store(true, std::memory_order_release);
  if (watch->on_signal_)
    watch->on_signal_();
}

}  // namespace base
