#ifndef DOWNLOAD_BLOCKING_CALL_THREAD_H_
#define DOWNLOAD_BLOCKING_CALL_THREAD_H_

#include <windows.h>

#include <functional>
#include <memory>

#include "base/event_watch.h"
#include "base/scoped_handle.h"

namespace download {

// Runs blocking calls, one at a time, on a thread of its own, so that the
// caller can stop waiting for one. Closing a WinINet handle does not end a
// call blocked on it everywhere (Wine waits for its own timeouts), and
// nothing ends a name resolution; this is how a stop still takes effect at
// once.
//
// A call the caller gave up on runs to its end on that thread, which then
// ends by itself. Whatever such a call touches must be owned by the call
// (captured by value or shared), never borrowed from the caller.
// The object is used by one thread.
//
// Handing a call over and back costs no kernel round trip (a lock and a
// condition variable); the stop event is watched once, by the system's
// thread pool, rather than waited on with every call. Downloads hand over a
// read per chunk, so this is on their hot path.
class BlockingCallThread {
 public:
  enum class Outcome {
    kReturned,  // The call ran to its end.
    kStopped,   // The stop event came first, or a given-up call still holds the thread.
    kTimedOut,  // The time limit came first.
  };

  BlockingCallThread();
  // Ends an idle thread and waits for it; one still inside a call (given up,
  // or posted and never waited for) is left to end by itself.
  ~BlockingCallThread();
  BlockingCallThread(const BlockingCallThread&) = delete;
  BlockingCallThread& operator=(const BlockingCallThread&) = delete;

  // Starts the thread; false with the last error set.
  bool Start();
  // Runs `call` on the thread and waits until it returns, `stop` (may be
  // null) is signalled, or `timeout_ms` have passed. After a call was given
  // up, no other runs: every later one answers kStopped at once.
  Outcome Run(std::function<void()> call, HANDLE stop, DWORD timeout_ms);

  // The two halves of Run, so that the caller can work while the call runs.
  // Post hands `call` over and returns at once; false (nothing runs) when a
  // call was given up, another is still posted, or the thread is not
  // started. Wait then waits for it as Run does; with nothing posted it
  // answers kReturned, or kStopped after a give-up.
  bool Post(std::function<void()> call);
  Outcome Wait(HANDLE stop, DWORD timeout_ms);

 private:
  struct Shared;
  static unsigned __stdcall ThreadMain(void* shared);
  // Watches `stop` from now on, unless it is watched already.
  void WatchStop(HANDLE stop);

  std::shared_ptr<Shared> shared_;
  base::ScopedHandle thread_;
  bool posted_ = false;
  bool given_up_ = false;
  HANDLE watched_stop_ = nullptr;
  std::unique_ptr<base::EventWatch> stop_watch_;
};

}  // namespace download

#endif  // DOWNLOAD_BLOCKING_CALL_THREAD_H_
