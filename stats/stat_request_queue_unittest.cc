#include "stats/stat_request_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <process.h>

#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "base/waitable_event.h"
#include "base/log_capture_for_testing.h"

namespace stats {
namespace {

constexpr DWORD kWaitMs = 10000;

// Records the URLs the worker sends. The first send can be held until the
// test releases it.
class FakeSender {
 public:
  explicit FakeSender(bool hold_first = false) : hold_first_(hold_first) {}

  StatRequestQueue::SendFunction Function() {
    return [this](const std::wstring& url) { Send(url); };
  }

  void Send(const std::wstring& url) {
    ::AcquireSRWLockExclusive(&lock_);
    bool first = sent_.empty();
    sent_.push_back(url);
    ::ReleaseSRWLockExclusive(&lock_);
    sent_event_.Signal();
    if (first && hold_first_) {
      release_.Wait();
      first_returned_.Signal();
    }
  }

  // Waits until `count` URLs were sent; false after kWaitMs.
  bool WaitForCount(size_t count) {
    DWORD start = ::GetTickCount();
    while (sent().size() < count) {
      if (::GetTickCount() - start > kWaitMs)
        return false;
      sent_event_.TimedWait(100);
    }
    return true;
  }

  std::vector<std::wstring> sent() {
    ::AcquireSRWLockShared(&lock_);
    std::vector<std::wstring> copy = sent_;
    ::ReleaseSRWLockShared(&lock_);
    return copy;
  }

  void Release() { release_.Signal(); }
  bool WaitForFirstReturn() { return first_returned_.TimedWait(kWaitMs); }

 private:
  const bool hold_first_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<std::wstring> sent_;
  base::AutoResetEvent sent_event_;
  base::ManualResetEvent release_;
  base::ManualResetEvent first_returned_;
};

TEST(StatRequestQueueTest, SendsEveryUrlInQueueOrder) {
  FakeSender sender;
  StatRequestQueue queue(sender.Function());
  std::vector<std::wstring> urls;
  for (int i = 0; i < 200; ++i) {
    urls.push_back(L"https://h/" + std::to_wstring(i));
    queue.Push(urls.back());
  }
  ASSERT_TRUE(sender.WaitForCount(urls.size()));
  EXPECT_EQ(sender.sent(), urls);
}

TEST(StatRequestQueueTest, IdleOnlyOnceEveryQueuedUrlWasSent) {
  FakeSender sender(/*hold_first=*/true);
  StatRequestQueue queue(sender.Function());
  EXPECT_TRUE(queue.WaitUntilIdle(0));  // Nothing queued yet.
  queue.Push(L"https://h/0");
  queue.Push(L"https://h/1");
  ASSERT_TRUE(sender.WaitForCount(1));
  EXPECT_FALSE(queue.WaitUntilIdle(100));  // The first is still being sent.
  sender.Release();
  EXPECT_TRUE(queue.WaitUntilIdle(kWaitMs));
  EXPECT_EQ(sender.sent().size(), 2u);
  queue.Push(L"https://h/2");
  EXPECT_TRUE(queue.WaitUntilIdle(kWaitMs));
  EXPECT_EQ(sender.sent().size(), 3u);
}

TEST(StatRequestQueueTest, StoppingSendsOnlyTheUrlInProgress) {
  FakeSender sender(/*hold_first=*/true);
  StatRequestQueue queue(sender.Function());
  for (int i = 0; i < 11; ++i)
    queue.Push(L"https://h/" + std::to_wstring(i));
  ASSERT_TRUE(sender.WaitForCount(1));  // The first one is being sent; ten wait.

  struct Stopper {
    static unsigned __stdcall Run(void* queue) {
      static_cast<StatRequestQueue*>(queue)->Stop();
      return 0;
    }
  };
  base::ScopedHandle stopper(reinterpret_cast<HANDLE>(
      ::_beginthreadex(nullptr, 0, &Stopper::Run, &queue, 0, nullptr)));
  ASSERT_TRUE(stopper.is_valid());
  DWORD start = ::GetTickCount();
  while (!queue.IsStopping() && ::GetTickCount() - start < kWaitMs)
    ::Sleep(1);
  ASSERT_TRUE(queue.IsStopping());
  // Stop waits for the send in progress.
  EXPECT_EQ(::WaitForSingleObject(stopper.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));
  sender.Release();
  ASSERT_EQ(::WaitForSingleObject(stopper.get(), kWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(sender.sent(), std::vector<std::wstring>{L"https://h/0"});

  queue.Push(L"https://h/late");  // Ignored after Stop.
  EXPECT_EQ(sender.sent().size(), 1u);
}

TEST(StatRequestQueueTest, AWorkerStuckInARequestIsLeftBehind) {
  FakeSender sender(/*hold_first=*/true);
  {
    base::ScopedLogCapture log;
    StatRequestQueue queue(sender.Function(), /*stop_timeout_ms=*/100);
    queue.Push(L"https://h/stalled");
    queue.Push(L"https://h/queued");
    ASSERT_TRUE(sender.WaitForCount(1));
    queue.Stop();
    ASSERT_EQ(log.records().size(), 1u);
    EXPECT_EQ(log.records()[0].severity, base::Severity::kWarning);
  }
  // The queue is gone; the worker finishes its request and ends without it.
  sender.Release();
  ASSERT_TRUE(sender.WaitForFirstReturn());
  EXPECT_EQ(sender.sent(), std::vector<std::wstring>{L"https://h/stalled"});
}

class FailingStartQueue : public StatRequestQueue {
 public:
  using StatRequestQueue::StatRequestQueue;
  int failures_left = 1;

 protected:
  HANDLE BeginThread(unsigned(__stdcall* body)(void*), void* argument) override {
    if (failures_left > 0) {
      --failures_left;
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    return StatRequestQueue::BeginThread(body, argument);
  }
};

TEST(StatRequestQueueTest, AWorkerThatCannotStartDropsOnlyThatUrl) {
  FakeSender sender;
  FailingStartQueue queue(sender.Function());
  base::ScopedLogCapture log;
  queue.Push(L"https://h/dropped");
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_STREQ(log.records()[0].function, "InitializeThread");
  EXPECT_EQ(log.records()[0].severity, base::Severity::kWarning);
  EXPECT_THAT(log.records()[0].message,
              ::testing::StartsWith("Failed to create thread for async http requests - "));
  queue.Push(L"https://h/sent");
  ASSERT_TRUE(sender.WaitForCount(1));
  queue.Stop();
  EXPECT_EQ(sender.sent(), std::vector<std::wstring>{L"https://h/sent"});
}

}  // namespace
}  // namespace stats
