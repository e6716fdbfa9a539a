#include "stats/stat_request_queue.h"

#include <process.h>

#include <deque>
#include <utility>

#include "base/waitable_event.h"
#include "base/logging.h"
#include "stats/send_url.h"

namespace stats {

struct StatRequestQueue::Shared {
  explicit Shared(SendFunction function) : send(std::move(function)) {}

  const SendFunction send;
  SRWLOCK lock = SRWLOCK_INIT;
  std::deque<std::wstring> urls;  // Guarded by lock.
  bool stop = false;              // Guarded by lock.
  // The worker has found the queue empty and waits, or is about to, for
  // `wake`. Guarded by lock. Only then does a new URL need the events: each
  // costs the caller a kernel call (a round trip to the Wine server), and a
  // busy worker drains the queue before it waits again.
  bool waiting = true;
  base::AutoResetEvent wake;
  // Signalled while nothing is queued or being sent; changed under lock.
  base::ManualResetEvent idle{base::ManualResetEvent::InitialState::kSignaled};
};

StatRequestQueue::StatRequestQueue(SendFunction send, DWORD stop_timeout_ms)
    : shared_(std::make_shared<Shared>(send ? std::move(send) : SendFunction(&SendUrl))),
      stop_timeout_ms_(stop_timeout_ms) {}

StatRequestQueue::~StatRequestQueue() {
  Stop();
}

void StatRequestQueue::Push(std::wstring url) {
  ::AcquireSRWLockExclusive(&shared_->lock);
  // Started under the lock: two threads queueing the first requests at once
  // must not start two workers, or the order would be lost.
  if (!shared_->stop && InitializeThread()) {
    shared_->urls.push_back(std::move(url));
    if (shared_->waiting) {
      shared_->waiting = false;
      shared_->idle.Reset();
      shared_->wake.Signal();
    }
  }
  ::ReleaseSRWLockExclusive(&shared_->lock);
}

void StatRequestQueue::Stop() {
  ::AcquireSRWLockExclusive(&shared_->lock);
  shared_->stop = true;
  shared_->urls.clear();
  ::ReleaseSRWLockExclusive(&shared_->lock);
  shared_->wake.Signal();
  // No Push starts a worker once stop is set, so thread_ is stable here.
  if (!thread_.is_valid())
    return;
  // The request timeouts do not bound every stall (a TLS handshake with a
  // host that never answers can block for good), so neither may this wait.
  if (::WaitForSingleObject(thread_.get(), stop_timeout_ms_) != WAIT_OBJECT_0)
    LOG(WARNING) << "The statistics thread is still sending; it is left to finish alone";
  thread_.reset();
}

bool StatRequestQueue::WaitUntilIdle(DWORD timeout_ms) {
  return shared_->idle.TimedWait(timeout_ms);
}

bool StatRequestQueue::IsStopping() const {
  ::AcquireSRWLockShared(&shared_->lock);
  bool stopping = shared_->stop;
  ::ReleaseSRWLockShared(&shared_->lock);
  return stopping;
}

HANDLE StatRequestQueue::BeginThread(unsigned(__stdcall* body)(void*), void* argument) {
  return reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, body, argument, 0, nullptr));
}

bool StatRequestQueue::InitializeThread() {
  if (thread_.is_valid())
    return true;
  auto* reference = new std::shared_ptr<Shared>(shared_);
  thread_.reset(BeginThread(&StatRequestQueue::ThreadMain, reference));
  if (!thread_.is_valid()) {
    PLOG(WARNING) << "Failed to create thread for async http requests";
    delete reference;
    return false;
  }
  return true;
}

unsigned __stdcall StatRequestQueue::ThreadMain(void* reference) {
  std::shared_ptr<Shared> shared = std::move(*static_cast<std::shared_ptr<Shared>*>(reference));
  delete static_cast<std::shared_ptr<Shared>*>(reference);
  Run(shared.get());
  return 0;
}

void StatRequestQueue::Run(Shared* shared) {
  for (;;) {
    shared->wake.Wait();
    // One wake-up may stand for several URLs: drain the queue before waiting.
    for (;;) {
      ::AcquireSRWLockExclusive(&shared->lock);
      if (shared->stop) {
        ::ReleaseSRWLockExclusive(&shared->lock);
        return;
      }
      if (shared->urls.empty()) {
        shared->waiting = true;
        shared->idle.Signal();
        ::ReleaseSRWLockExclusive(&shared->lock);
        break;
      }
      std::wstring url = std::move(shared->urls.front());
      shared->urls.pop_front();
      ::ReleaseSRWLockExclusive(&shared->lock);
      shared->send(url);
    }
  }
}

}  // namespace stats
