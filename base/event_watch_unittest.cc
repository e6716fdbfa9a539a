#include "base/event_watch.h"

#include <gtest/gtest.h>

#include <atomic>

#include "base/waitable_event.h"

namespace base {
namespace {

// Polls instead of sleeping a fixed time: the pool's thread may be slow to run.
bool BecomesTrue(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition())
      return true;
    ::Sleep(10);
  }
  return condition();
}

TEST(EventWatchTest, LearnsOfTheSignalOnceAndAtOnceWhenItCameBefore) {
  ManualResetEvent event;
  std::atomic<int> calls{0};
  {
    EventWatch watch(event.handle(), [&calls] { ++calls; });
    ASSERT_TRUE(watch.is_watching());
    EXPECT_FALSE(watch.IsSignaled());
    event.Signal();
    EXPECT_TRUE(BecomesTrue([&] { return watch.IsSignaled() && calls == 1; }));
    // Still known after a reset: what was seen stays seen.
    event.Reset();
    event.Signal();
    ::Sleep(50);
    EXPECT_TRUE(watch.IsSignaled());
    EXPECT_EQ(calls, 1);
  }

  // Already signalled: known during construction, without the pool.
  EventWatch early(event.handle(), [&calls] { ++calls; });
  EXPECT_TRUE(early.IsSignaled());
  EXPECT_EQ(calls, 2);

  EventWatch none(nullptr);
  EXPECT_FALSE(none.IsSignaled());
}

}  // namespace
}  // namespace base
