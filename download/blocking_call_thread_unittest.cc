#include "download/blocking_call_thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "base/waitable_event.h"

namespace download {
namespace {

// What a call owns; records on which thread it was let go.
struct Owned {
  explicit Owned(std::atomic<DWORD>* released_on) : released_on(released_on) {}
  ~Owned() { *released_on = ::GetCurrentThreadId(); }
  std::atomic<DWORD>* released_on;
};

TEST(BlockingCallThreadTest, StopLeavesTheCallToFinishOnItsOwnThread) {
  base::ManualResetEvent stop, release;
  std::atomic<DWORD> released_on{0};
  std::atomic<bool> finished{false};
  {
    BlockingCallThread thread;
    ASSERT_TRUE(thread.Start());
    int value = 0;
    ASSERT_EQ(thread.Run([&value] { value = 42; }, stop.handle(), 5000),
              BlockingCallThread::Outcome::kReturned);
    EXPECT_EQ(value, 42);

    // A call that the stop finds blocked, and that stays blocked long after,
    // as a name resolution does.
    HANDLE stop_handle = stop.handle(), release_handle = release.handle();
    auto owned = std::make_shared<Owned>(&released_on);
    DWORD started = ::GetTickCount();
    EXPECT_EQ(thread.Run(
                  [owned = std::move(owned), stop_handle, release_handle, &finished] {
                    ::SetEvent(stop_handle);
                    ::WaitForSingleObject(release_handle, 10000);
                    finished = true;
                  },
                  stop_handle, 10000),
              BlockingCallThread::Outcome::kStopped);
    EXPECT_LT(::GetTickCount() - started, 2000u);
    EXPECT_FALSE(finished);
    // Nothing else runs while a given-up call holds the thread.
    stop.Reset();
    bool ran = false;
    EXPECT_EQ(thread.Run([&ran] { ran = true; }, stop.handle(), 100),
              BlockingCallThread::Outcome::kStopped);
    EXPECT_FALSE(ran);
  }  // Destroying the object does not wait for the call either.
  EXPECT_FALSE(finished);
  EXPECT_EQ(released_on, 0u);
  release.Signal();
  for (int i = 0; i < 500 && !released_on; ++i)
    ::Sleep(10);
  EXPECT_TRUE(finished);
  // What the call owned went with it, on its own thread.
  EXPECT_NE(released_on, 0u);
  EXPECT_NE(released_on, ::GetCurrentThreadId());
}

TEST(BlockingCallThreadTest, TimeLimitEndsTheWait) {
  base::ManualResetEvent release;
  BlockingCallThread thread;
  ASSERT_TRUE(thread.Start());
  HANDLE handle = release.handle();
  EXPECT_EQ(thread.Run([handle] { ::WaitForSingleObject(handle, 5000); }, nullptr, 50),
            BlockingCallThread::Outcome::kTimedOut);
  release.Signal();
}

}  // namespace
}  // namespace download
