#include "base/waitable_event.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

TEST(WaitableEventTest, ManualResetStaysSignaledUntilReset) {
  ManualResetEvent event;
  ASSERT_TRUE(event.is_valid());
  EXPECT_FALSE(event.IsSignaled());
  event.Signal();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.TimedWait(0));
  EXPECT_TRUE(event.IsSignaled());
  event.Reset();
  EXPECT_FALSE(event.TimedWait(0));

  ManualResetEvent initially_set(WaitableEvent::InitialState::kSignaled);
  EXPECT_TRUE(initially_set.IsSignaled());
  EXPECT_TRUE(initially_set.IsSignaled());
}

TEST(WaitableEventTest, AutoResetReleasesOneWaitThenResets) {
  AutoResetEvent event;
  ASSERT_TRUE(event.is_valid());
  EXPECT_FALSE(event.IsSignaled());
  event.Signal();
  EXPECT_TRUE(event.TimedWait(0));
  EXPECT_FALSE(event.IsSignaled());

  AutoResetEvent initially_set(WaitableEvent::InitialState::kSignaled);
  EXPECT_TRUE(initially_set.IsSignaled());
  EXPECT_FALSE(initially_set.IsSignaled());

  event.Signal();
  event.Reset();
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitableEventTest, NamedEventsShareStateAndPolicy) {
  const std::wstring name =
      L"tx-waitable-event-test-" + std::to_wstring(::GetCurrentProcessId());
  WaitableEvent creator(WaitableEvent::ResetPolicy::kAutomatic,
                        WaitableEvent::InitialState::kNotSignaled, name);
  // Opening an existing event keeps the creator's policy and state.
  WaitableEvent opener(WaitableEvent::ResetPolicy::kManual,
                       WaitableEvent::InitialState::kSignaled, name);
  ASSERT_TRUE(creator.is_valid());
  ASSERT_TRUE(opener.is_valid());
  EXPECT_FALSE(opener.IsSignaled());
  creator.Signal();
  EXPECT_TRUE(opener.IsSignaled());
  EXPECT_FALSE(creator.IsSignaled());
}

TEST(WaitableEventTest, AdoptsAnOpenedHandle) {
  ManualResetEvent original;
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), original.handle(), ::GetCurrentProcess(),
                                &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS));
  WaitableEvent adopted{ScopedHandle(duplicate)};
  EXPECT_EQ(adopted.handle(), duplicate);
  original.Signal();
  EXPECT_TRUE(adopted.IsSignaled());
}

}  // namespace
}  // namespace base
