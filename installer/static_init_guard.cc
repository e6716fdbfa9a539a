// The guards of function-local statics. The C++ runtime's own version is
// built with exceptions and the posix thread library, and would bring both
// into the executable; this one waits on a Win32 SRW lock and condition
// variable instead. The lock is not held while a static is being built, so
// the constructor may itself initialise other statics.

#include <windows.h>

#include <cxxabi.h>

#include <cstdint>

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_done = CONDITION_VARIABLE_INIT;

// The Itanium C++ ABI's guard object: the compiler tests its first byte
// (acquire load) before calling in; the second byte marks "being built".
struct Guard {
  volatile uint8_t initialized;
  volatile uint8_t pending;
};

}  // namespace

extern "C" {

int __cxa_guard_acquire(__cxxabiv1::__guard* guard_object) {
  Guard* guard = reinterpret_cast<Guard*>(guard_object);
  if (__atomic_load_n(&guard->initialized, __ATOMIC_ACQUIRE))
    return 0;
  ::AcquireSRWLockExclusive(&g_lock);
  for (;;) {
    if (guard->initialized) {
      ::ReleaseSRWLockExclusive(&g_lock);
      return 0;
    }
    if (!guard->pending) {
      guard->pending = 1;
      ::ReleaseSRWLockExclusive(&g_lock);
      return 1;
    }
    ::SleepConditionVariableSRW(&g_done, &g_lock, INFINITE, 0);
  }
}

void __cxa_guard_release(__cxxabiv1::__guard* guard_object) {
  Guard* guard = reinterpret_cast<Guard*>(guard_object);
  ::AcquireSRWLockExclusive(&g_lock);
  guard->pending = 0;
  __atomic_store_n(&guard->initialized, 1, __ATOMIC_RELEASE);
  ::ReleaseSRWLockExclusive(&g_lock);
  ::WakeAllConditionVariable(&g_done);
}

void __cxa_guard_abort(__cxxabiv1::__guard* guard_object) {
  Guard* guard = reinterpret_cast<Guard*>(guard_object);
  ::AcquireSRWLockExclusive(&g_lock);
  guard->pending = 0;
  ::ReleaseSRWLockExclusive(&g_lock);
  ::WakeAllConditionVariable(&g_done);
}

}  // extern "C"
