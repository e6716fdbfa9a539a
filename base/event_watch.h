#ifndef BASE_EVENT_WATCH_H_
#define BASE_EVENT_WATCH_H_

#include <windows.h>

#include <atomic>
#include <functional>

namespace base {

// Tells whether an event has been signalled without asking the kernel each
// time: one wait of the system's thread pool notes it, so that a loop can
// look at the answer per chunk for free. Meant for manual-reset events; the
// watch consumes the signal of an auto-reset one, as any wait does.
class EventWatch {
 public:
  // `event` may be null: never signalled; it must outlive the watch.
  // `on_signal`, when given, runs once when the event is first seen
  // signalled: during the constructor when it already is, else on a thread
  // of the pool. It must be short and must not destroy the watch.
  explicit EventWatch(HANDLE event, std::function<void()> on_signal = {});
  // Ends the watch; waits for an `on_signal` that is running.
  ~EventWatch();
  EventWatch(const EventWatch&) = delete;
  EventWatch& operator=(const EventWatch&) = delete;

  // May be called from any thread. A signal reaches it shortly after the
  // event is set, not at the same instant.
  bool IsSignaled() const;
  // False when the pool could not take the wait: IsSignaled then asks the
  // kernel itself, and `on_signal` never runs.
  bool is_watching() const { return wait_ != nullptr; }

 private:
  static void CALLBACK OnSignaled(void* self, BOOLEAN timed_out);

  const HANDLE event_;
  const std::function<void()> on_signal_;
  std::atomic<bool> signaled_{false};
  HANDLE wait_ = nullptr;
};

}  // namespace base

#endif  // BASE_EVENT_WATCH_H_
