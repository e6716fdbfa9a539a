#ifndef BASE_CLOCK_H_
#define BASE_CLOCK_H_

#include <windows.h>

#include <cstdint>

namespace base {

// Time and waits, injected so that tests never sleep for real.
class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time in microseconds since an arbitrary origin.
  virtual int64_t NowMicroseconds() = 0;
  // Wall-clock time in microseconds since 1601-01-01 UTC.
  virtual int64_t WallMicroseconds() = 0;
  // Waits for `event` (may be null: a plain sleep) up to `milliseconds`.
  // Answers true when the event was signalled.
  virtual bool WaitForEvent(HANDLE event, DWORD milliseconds) = 0;
};

// The real clock: QueryPerformanceCounter, GetSystemTimeAsFileTime and
// WaitForSingleObject.
class SystemClock : public Clock {
 public:
  int64_t NowMicroseconds() override;
  int64_t WallMicroseconds() override;
  bool WaitForEvent(HANDLE event, DWORD milliseconds) override;
};

// A FILETIME (100 ns units since 1601) in microseconds.
int64_t FileTimeToMicroseconds(const FILETIME& time);

// The process-wide real clock. May be called from any thread.
Clock* DefaultClock();

}  // namespace base

#endif  // BASE_CLOCK_H_
