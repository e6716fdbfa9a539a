#include "base/clock.h"

namespace base {

int64_t SystemClock::NowMicroseconds() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  // Split to avoid overflowing the 64-bit product on long uptimes. Both are
  // positive: unsigned division is the smaller runtime routine, and one that
  // the program has anyway.
  const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
  const uint64_t hertz = static_cast<uint64_t>(frequency);
  const uint64_t seconds = ticks / hertz;
  const uint64_t rest = ticks - seconds * hertz;
  return static_cast<int64_t>(seconds * 1000000 + rest * 1000000 / hertz);
}

int64_t SystemClock::WallMicroseconds() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  return FileTimeToMicroseconds(ft);
}

bool SystemClock::WaitForEvent(HANDLE event, DWORD milliseconds) {
  if (!event) {
    ::Sleep(milliseconds);
    return false;
  }
  return ::WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0;
}

int64_t FileTimeToMicroseconds(const FILETIME& time) {
  uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10);
}

Clock* DefaultClock() {
  static SystemClock clock;
  return &clock;
}

}  // namespace base
