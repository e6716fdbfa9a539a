#ifndef BASE_SCOPED_SRW_LOCK_H_
#define BASE_SCOPED_SRW_LOCK_H_

#include <windows.h>

namespace base {

// Holds an SRW lock exclusively for its scope.
class ScopedExclusiveLock {
 public:
  explicit ScopedExclusiveLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
  ~ScopedExclusiveLock() { ::ReleaseSRWLockExclusive(lock_); }
  ScopedExclusiveLock(const ScopedExclusiveLock&) = delete;
  ScopedExclusiveLock& operator=(const ScopedExclusiveLock&) = delete;

 private:
  SRWLOCK* lock_;
};

// Holds an SRW lock shared for its scope.
class ScopedSharedLock {
 public:
  explicit ScopedSharedLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockShared(lock_); }
  ~ScopedSharedLock() { ::ReleaseSRWLockShared(lock_); }
  ScopedSharedLock(const ScopedSharedLock&) = delete;
  ScopedSharedLock& operator=(const ScopedSharedLock&) = delete;

 private:
  SRWLOCK* lock_;
};

}  // namespace base

#endif  // BASE_SCOPED_SRW_LOCK_H_
