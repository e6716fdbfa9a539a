#ifndef BASE_WAITABLE_EVENT_H_
#define BASE_WAITABLE_EVENT_H_

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

namespace base {

// A Win32 event. Manual-reset events stay signalled until Reset; auto-reset
// events release one waiter and reset themselves. May be used from any thread.
class WaitableEvent {
 public:
  enum class ResetPolicy { kManual, kAutomatic };
  enum class InitialState { kNotSignaled, kSignaled };

  WaitableEvent(ResetPolicy policy, InitialState state);
  // Creates or opens a named event; `handle()` is null when that failed.
  WaitableEvent(ResetPolicy policy, InitialState state, const std::wstring& name);
  // Takes ownership of an event handle opened elsewhere.
  explicit WaitableEvent(ScopedHandle handle);

  void Signal();
  void Reset();
  bool IsSignaled() const;
  // Answers true when the event was signalled within `milliseconds`.
  bool TimedWait(DWORD milliseconds) const;
  void Wait() const;

  bool is_valid() const { return handle_.is_valid(); }
  HANDLE handle() const { return handle_.get(); }

 private:
  ScopedHandle handle_;
};

class ManualResetEvent : public WaitableEvent {
 public:
  explicit ManualResetEvent(InitialState state = InitialState::kNotSignaled)
      : WaitableEvent(ResetPolicy::kManual, state) {}
};

class AutoResetEvent : public WaitableEvent {
 public:
  explicit AutoResetEvent(InitialState state = InitialState::kNotSignaled)
      : WaitableEvent(ResetPolicy::kAutomatic, state) {}
};

}  // namespace base

#endif  // BASE_WAITABLE_EVENT_H_
