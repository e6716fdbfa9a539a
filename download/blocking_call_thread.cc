#include "download/blocking_call_thread.h"

#include <process.h>

#include <atomic>

#include "base/waitable_event.h"

namespace download {

// Lives as long as either side needs it: the caller, or a thread that is
// still finishing a call the caller gave up on.
struct BlockingCallThread::Shared {
  std::function<void()> call;  // Handed over by `work`, handed back by `done`.
  base::AutoResetEvent work;
  base::AutoResetEvent done;
  std::atomic<bool> quit{false};
};

BlockingCallThread::BlockingCallThread() : shared_(std::make_shared<Shared>()) {}

BlockingCallThread::~BlockingCallThread() {
  if (!thread_.is_valid())
    return;
  shared_->quit = true;
  shared_->work.Signal();
  // An idle thread ends at once; a busy one owns what its call needs.
  if (!given_up_)
    ::WaitForSingleObject(thread_.get(), INFINITE);
}

bool BlockingCallThread::Start() {
  if (thread_.is_valid())
    return true;
  if (!shared_->work.is_valid() || !shared_->done.is_valid())
    return false;
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
  if (given_up_ || !thread_.is_valid())
    return Outcome::kStopped;
  shared_->call = std::move(call);
  shared_->work.Signal();
  HANDLE events[] = {shared_->done.handle(), stop};
  DWORD count = stop ? 2 : 1;
  DWORD waited = ::WaitForMultipleObjects(count, events, FALSE, timeout_ms);
  if (waited == WAIT_OBJECT_0)
    return Outcome::kReturned;
  given_up_ = true;
  return waited == WAIT_TIMEOUT ? Outcome::kTimedOut : Outcome::kStopped;
}

unsigned __stdcall BlockingCallThread::ThreadMain(void* param) {
  std::unique_ptr<std::shared_ptr<Shared>> owner(static_cast<std::shared_ptr<Shared>*>(param));
  Shared& shared = **owner;
  for (;;) {
    shared.work.Wait();
    if (!shared.call)
      break;  // Woken to end.
    shared.call();
    // What the call captured goes here, on this thread, even when the
    // caller gave up on it long ago.
    shared.call = nullptr;
    shared.done.Signal();
    if (shared.quit)
      break;
  }
  return 0;
}

}  // namespace download
