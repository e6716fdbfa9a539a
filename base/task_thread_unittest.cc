#include "base/task_thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/waitable_event.h"

namespace base {
namespace {

// Generous bound for waits that should end at once; only reached on failure.
constexpr DWORD kFailSafeMs = 10000;

// Signals `event` when the last copy of the task that captured it is destroyed,
// which tells a test that a dropped task was really discarded.
class DestructionSignal {
 public:
  explicit DestructionSignal(WaitableEvent* event) : event_(event) {}
  ~DestructionSignal() { event_->Signal(); }

 private:
  WaitableEvent* event_;
};

TEST(TaskThreadTest, RunsTasksInOrderOnOneOtherThread) {
  TaskThread thread;
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.IsRunning());

  std::vector<int> order;
  std::vector<DWORD> thread_ids;  // Both written by the worker only.
  ManualResetEvent done;
  for (int i = 0; i < 50; ++i) {
    thread.PostTask([&order, &thread_ids, i] {
      order.push_back(i);
      thread_ids.push_back(::GetCurrentThreadId());
    });
  }
  thread.PostTask([&done] { done.Signal(); });
  ASSERT_TRUE(done.TimedWait(kFailSafeMs));

  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(order[i], i);
  EXPECT_NE(thread.thread_id(), ::GetCurrentThreadId());
  for (DWORD id : thread_ids)
    EXPECT_EQ(id, thread.thread_id());

  EXPECT_TRUE(thread.Stop());
  EXPECT_FALSE(thread.IsRunning());
}

TEST(TaskThreadTest, StopLetsTheRunningTaskFinishAndDropsQueuedOnes) {
  TaskThread thread;
  ASSERT_TRUE(thread.Start());
  ManualResetEvent started;
  ManualResetEvent queued_task_destroyed;
  bool running_task_saw_drop = false;
  int queued_runs = 0;

  // The running task holds the thread until Stop has discarded the queue.
  thread.PostTask([&] {
    started.Signal();
    running_task_saw_drop = queued_task_destroyed.TimedWait(kFailSafeMs);
  });
  auto signal = std::make_shared<DestructionSignal>(&queued_task_destroyed);
  thread.PostTask([signal, &queued_runs] { ++queued_runs; });
  signal.reset();
  thread.PostTask([&queued_runs] { ++queued_runs; });
  ASSERT_TRUE(started.TimedWait(kFailSafeMs));

  EXPECT_TRUE(thread.Stop());
  EXPECT_TRUE(running_task_saw_drop);
  EXPECT_EQ(queued_runs, 0);
}

TEST(TaskThreadTest, PostTaskAfterStopIsDropped) {
  TaskThread thread;
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.Stop());

  ManualResetEvent task_destroyed;
  bool ran = false;
  auto signal = std::make_shared<DestructionSignal>(&task_destroyed);
  thread.PostTask([signal, &ran] { ran = true; });
  signal.reset();
  // Dropped at once rather than kept in a queue nobody serves.
  EXPECT_TRUE(task_destroyed.IsSignaled());
  EXPECT_FALSE(ran);
}

TEST(TaskThreadTest, StopWithTimeoutTerminatesAHungTask) {
  TaskThread thread;
  ASSERT_TRUE(thread.Start());
  ManualResetEvent started;
  ManualResetEvent never;
  thread.PostTask([&] {
    started.Signal();
    never.Wait();
  });
  ASSERT_TRUE(started.TimedWait(kFailSafeMs));

  EXPECT_FALSE(thread.Stop(50));
  EXPECT_FALSE(thread.IsRunning());
  // A second Stop has nothing left to wait for.
  EXPECT_TRUE(thread.Stop(0));
}

}  // namespace
}  // namespace base
