#ifndef INSTALLER_SINGLE_INSTANCE_H_
#define INSTALLER_SINGLE_INSTANCE_H_

#include <windows.h>

#include "base/scoped_handle.h"

namespace installer {

// The named mutex that lets one installer run at a time. Created without
// initial ownership; owned only when a zero-timeout wait succeeds (an
// abandoned mutex counts as held by another instance).
class SingleInstanceMutex {
 public:
  SingleInstanceMutex();
  ~SingleInstanceMutex();  // Releases the mutex if owned.
  SingleInstanceMutex(const SingleInstanceMutex&) = delete;
  SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

  bool TryAcquire();
  void Release();
  bool owned() const { return owned_; }

 private:
  base::ScopedHandle mutex_;
  bool owned_ = false;
};

// The master installer's process id, kept in an image section that every
// process started from the same executable file shares; 0 when none was stored.
DWORD ReadMasterProcessId();
void WriteMasterProcessId(DWORD process_id);

// Brings the first top-level window of `process_id` to the foreground. Logs
// an error and does nothing for process id 0.
void BringProcessWindowToTop(DWORD process_id);

}  // namespace installer

#endif  // INSTALLER_SINGLE_INSTANCE_H_
