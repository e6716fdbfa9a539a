#include "base/waitable_timer.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(WaitableTimerTest, SignalsWhenItsTimeRunsOutAndRearmingUnsignals) {
  WaitableTimer timer;
  ASSERT_TRUE(timer.is_valid());
  EXPECT_FALSE(timer.IsSignaled());
  ASSERT_TRUE(timer.Arm(50));
  EXPECT_FALSE(timer.IsSignaled());
  EXPECT_EQ(::WaitForSingleObject(timer.handle(), 10000), WAIT_OBJECT_0);
  // Manual reset: it stays signalled until armed again.
  EXPECT_TRUE(timer.IsSignaled());
  ASSERT_TRUE(timer.Arm(60000));
  EXPECT_FALSE(timer.IsSignaled());
}

TEST(WaitableTimerTest, FiringEndsAWaitLongBeforeTheDueTime) {
  WaitableTimer timer;
  ASSERT_TRUE(timer.Arm(60000));
  timer.Fire();
  // Well under the minute it was armed for.
  EXPECT_EQ(::WaitForSingleObject(timer.handle(), 5000), WAIT_OBJECT_0);
  // A fire before the next arming does not survive it.
  ASSERT_TRUE(timer.Arm(60000));
  EXPECT_FALSE(timer.IsSignaled());
}

}  // namespace
}  // namespace base
