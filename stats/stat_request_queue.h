#ifndef STATS_STAT_REQUEST_QUEUE_H_
#define STATS_STAT_REQUEST_QUEUE_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/scoped_handle.h"

namespace stats {

// Sends statistics request URLs one after another, in the order queued, on a
// worker thread that starts with the first request. Push may be called from
// any thread and never waits for the network.
class StatRequestQueue {
 public:
  // Sends one URL; runs on the worker thread.
  using SendFunction = std::function<void(const std::wstring& url)>;

  // How long Stop waits for the request in progress.
  static constexpr DWORD kDefaultStopTimeoutMs = 10000;

  // `send` empty: SendUrl.
  explicit StatRequestQueue(SendFunction send = {},
                            DWORD stop_timeout_ms = kDefaultStopTimeoutMs);
  // Stop().
  virtual ~StatRequestQueue();
  StatRequestQueue(const StatRequestQueue&) = delete;
  StatRequestQueue& operator=(const StatRequestQueue&) = delete;

  // Queues `url`. When the worker cannot be started, the URL is dropped (and
  // the next Push tries again). Ignored once Stop has begun.
  void Push(std::wstring url);

  // Ends the worker: the URL being sent is finished, the queued ones are
  // dropped unsent. Waits up to the stop timeout for the worker; one still
  // sending after that (a host that accepts and never answers) is left to
  // end by itself and touches nothing of this object. Must not be called
  // from the send function.
  void Stop();

  // Waits up to `timeout_ms` until every queued URL has been sent and the
  // worker is idle; true then (and when nothing was ever queued).
  bool WaitUntilIdle(DWORD timeout_ms);

  // Whether Stop has begun.
  bool IsStopping() const;

 protected:
  // Starts a thread running body(argument); null on failure with the
  // thread's last error set. Tests make it fail.
  virtual HANDLE BeginThread(unsigned(__stdcall* body)(void*), void* argument);

 private:
  // What the worker uses; it keeps its own reference so that it may outlive
  // the queue.
  struct Shared;

  static unsigned __stdcall ThreadMain(void* shared);
  static void Run(Shared* shared);
  // Starts the worker unless it runs; called with the lock held.
  bool InitializeThread();

  const std::shared_ptr<Shared> shared_;
  const DWORD stop_timeout_ms_;
  base::ScopedHandle thread_;  // Guarded by the lock until Stop.
};

}  // namespace stats

#endif  // STATS_STAT_REQUEST_QUEUE_H_
