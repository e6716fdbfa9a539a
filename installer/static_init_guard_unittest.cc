#include <windows.h>
#include <process.h>

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/scoped_handle.h"

// The guard functions under test are installer/static_init_guard.cc's: this
// test executable links them in place of the runtime's, as the installer does.

namespace {

TEST(StaticInitGuardTest, AcquireReleaseAndAbort) {
  __cxxabiv1::__guard guard = 0;
  ASSERT_EQ(__cxa_guard_acquire(&guard), 1);
  __cxa_guard_abort(&guard);  // A constructor that failed: the next caller tries again.
  ASSERT_EQ(__cxa_guard_acquire(&guard), 1);
  __cxa_guard_release(&guard);
  EXPECT_EQ(__cxa_guard_acquire(&guard), 0);
  // The compiler's inline test reads the first byte.
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&guard)[0], 1);
}

LONG g_constructions = 0;

struct Slow {
  Slow() {
    ::InterlockedIncrement(&g_constructions);
    ::Sleep(100);  // Long enough for every other thread to arrive and wait.
    value = 7;
  }
  int value = 0;
};

int SlowValue() {
  static Slow slow;
  return slow.value;
}

int Inner() {
  static int inner = ::GetCurrentThreadId() ? 5 : 0;
  return inner;
}

struct Outer {
  int value = Inner() + 1;  // Another static, initialised while this one is.
};

unsigned __stdcall ReadSlow(void* result) {
  *static_cast<int*>(result) = SlowValue();
  return 0;
}

TEST(StaticInitGuardTest, RacingThreadsBuildOneStaticOnceAndAllSeeIt) {
  constexpr int kThreads = 6;
  int results[kThreads] = {};
  std::vector<base::ScopedHandle> threads;
  for (int& result : results) {
    threads.emplace_back(reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &ReadSlow, &result, 0, nullptr)));
    ASSERT_TRUE(threads.back().is_valid());
  }
  for (const base::ScopedHandle& thread : threads)
    ASSERT_EQ(::WaitForSingleObject(thread.get(), 30000), WAIT_OBJECT_0);
  EXPECT_EQ(g_constructions, 1);
  for (int result : results)
    EXPECT_EQ(result, 7);

  static Outer outer;
  EXPECT_EQ(outer.value, 6);
}

}  // namespace
