#include "download/blocking_call_thread.h"

#include <process.h>

#include <algorithm>

#include "base/scoped_srw_lock.h"

namespace download {

namespace {

// How often a wait looks at a stop event that the thread pool could not
// watch.
constexpr DWORD kStopPollMs = 20;

}  // namespace

// Lives as long as either side needs it: the caller, or a thread that is
// still finishing a call the caller gave up on. Every field is guarded by
// `lock`.
struct BlockingCallThread::Shared {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  std::function<void()> call;  // Handed over by Post; taken by the thread.
  bool pending = false;        // A call was posted and has not returned yet.
  bool quit = false;
  bool stopped = false;  // The watched stop event was seen signalled.
};

BlockingCallThread::BlockingCallThread() : shared_(std::make_shared<Shared>()) {}

BlockingCallThread::~BlockingCallThread() {
  stop_watch_.reset();
  if (!thread_.is_valid())
    return;
  {
    base::ScopedExclusiveLock hold(&shared_->lock);
    shared_->quit = true;
  }
  ::WakeAllConditionVariable(&shared_->changed);
  // An idle thread ends at once; a busy one owns what its call needs.
  if (!given_up_ && !posted_)
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

bool BlockingCallThread::Start() {
  if (thread_.is_valid())
    return true;
  auto* thread_share = new std::shared_ptr<Shared>(shared_);
  uintptr_t handle = ::_beginthreadex(nullptr, 0, &ThreadMain, thread_share, 0, nullptr);
  if (!handle) {
    DWORD error = ::GetLastError();
    delete thread_share;
    ::SetLastError(error);
    return false;
  }
  thread_.reset(reinterpret_cast<HANDLE>(handle));
  return true;
}

BlockingCallThread::Outcome BlockingCallThread::Run(std::function<void()> call, HANDLE stop,
                                                    DWORD timeout_ms) {
  if (!Post(std::move(call)))
    return Outcome::kStopped;
  return Wait(stop, timeout_ms);
}

bool BlockingCallThread::Post(std::function<void()> call) {
  if (given_up_ || posted_ || !thread_.is_valid())
    return false;
  {
    base::ScopedExclusiveLock hold(&shared_->lock);
    shared_->call = std::move(call);
    shared_->pending = true;
  }
  ::WakeAllConditionVariable(&shared_->changed);
  posted_ = true;
  return true;
}

BlockingCallThread::Outcome BlockingCallThread::Wait(HANDLE stop, DWORD timeout_ms) {
  if (given_up_)
    return Outcome::kStopped;
  if (!posted_)
    return Outcome::kReturned;
  WatchStop(stop);
  const bool polling = stop && !stop_watch_->is_watching();
  const ULONGLONG start = ::GetTickCount64();
  base::ScopedExclusiveLock hold(&shared_->lock);
  for (;;) {
    if (!shared_->pending) {
      posted_ = false;
      return Outcome::kReturned;
    }
    if (stop && (shared_->stopped || (polling && stop_watch_->IsSignaled()))) {
      given_up_ = true;
      return Outcome::kStopped;
    }
    DWORD left = INFINITE;
    if (timeout_ms != INFINITE) {
      const ULONGLONG spent = ::GetTickCount64() - start;
      if (spent >= timeout_ms) {
        given_up_ = true;
        return Outcome::kTimedOut;
      }
      left = static_cast<DWORD>(timeout_ms - spent);
    }
    if (polling)
      left = std::min(left, kStopPollMs);
    ::SleepConditionVariableSRW(&shared_->changed, &shared_->lock, left, 0);
  }
}

void BlockingCallThread::WatchStop(HANDLE stop) {
  if (!stop || stop == watched_stop_)
    return;
  stop_watch_.reset();
  {
    base::ScopedExclusiveLock hold(&shared_->lock);
    shared_->stopped = false;
  }
  watched_stop_ = stop;
  stop_watch_ = std::make_unique<base::EventWatch>(stop, [shared = shared_] {
    {
      base::ScopedExclusiveLock hold(&shared->lock);
      shared->stopped = true;
    }
    ::WakeAllConditionVariable(&shared->changed);
  });
}

unsigned __stdcall BlockingCallThread::ThreadMain(void* param) {
  std::unique_ptr<std::shared_ptr<Shared>> owner(static_cast<std::shared_ptr<Shared>*>(param));
  Shared& shared = **owner;
  ::AcquireSRWLockExclusive(&shared.lock);
  for (;;) {
    while (!shared.pending && !shared.quit)
      ::SleepConditionVariableSRW(&shared.changed, &shared.lock, INFINITE, 0);
    if (!shared.pending)
      break;  // Woken to end.
    {
      std::function<void()> call = std::move(shared.call);
      shared.call = nullptr;
      ::ReleaseSRWLockExclusive(&shared.lock);
      call();
      // What the call captured goes here, on this thread, even when the
      // caller gave up on it long ago.
    }
    ::AcquireSRWLockExclusive(&shared.lock);
    shared.pending = false;
    ::WakeAllConditionVariable(&shared.changed);
    if (shared.quit)
      break;
  }
  ::ReleaseSRWLockExclusive(&shared.lock);
  return 0;
}

}  // namespace download
