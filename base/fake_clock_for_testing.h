#ifndef BASE_FAKE_CLOCK_FOR_TESTING_H_
#define BASE_FAKE_CLOCK_FOR_TESTING_H_

#include <windows.h>

#include <functional>
#include <vector>

#include "base/clock.h"

namespace base {

// A clock that moves only when told to, or by the length of each wait. For
// tests only.
class FakeClock : public Clock {
 public:
  int64_t NowMicroseconds() override { return now_us; }
  int64_t WallMicroseconds() override { return wall_us + now_us; }
  bool WaitForEvent(HANDLE event, DWORD milliseconds) override {
    waits.push_back(milliseconds);
    if (on_wait)
      on_wait(waits.size());
    if (event && ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0)
      return true;
    now_us += static_cast<int64_t>(milliseconds) * 1000;
    return false;
  }
  void AdvanceMs(int64_t ms) { now_us += ms * 1000; }

  int64_t now_us = 1000000;
  int64_t wall_us = 13441108944123000LL;  // 2026-12-07 09:22:24.123 UTC
  std::vector<DWORD> waits;
  // Runs at each wait with the number of waits so far (a test may signal
  // the event here).
  std::function<void(size_t)> on_wait;
};

}  // namespace base

#endif  // BASE_FAKE_CLOCK_FOR_TESTING_H_
