#ifndef BASE_THREAD_LOCAL_POINTER_H_
#define BASE_THREAD_LOCAL_POINTER_H_

#include <windows.h>

namespace base {

// One pointer per thread, kept in a Win32 TLS slot. (The compiler's
// thread_local goes through the runtime's emulated TLS, which brings the
// posix thread library into the executable.) Each thread starts with null.
// Get() answers null when no slot could be allocated, and Set() then fails.
// Get() and Set() may be called from any thread and keep the last error.
template <typename T>
class ThreadLocalPointer {
 public:
  ThreadLocalPointer() : slot_(::TlsAlloc()) {}
  ~ThreadLocalPointer() {
    if (slot_ != TLS_OUT_OF_INDEXES)
      ::TlsFree(slot_);
  }
  ThreadLocalPointer(const ThreadLocalPointer&) = delete;
  ThreadLocalPointer& operator=(const ThreadLocalPointer&) = delete;

  T* Get() const {
    if (slot_ == TLS_OUT_OF_INDEXES)
      return nullptr;
    DWORD error = ::GetLastError();  // TlsGetValue clears it on success.
    void* value = ::TlsGetValue(slot_);
    ::SetLastError(error);
    return static_cast<T*>(value);
  }

  bool Set(T* value) {
    return slot_ != TLS_OUT_OF_INDEXES && ::TlsSetValue(slot_, value);
  }

 private:
  const DWORD slot_;
};

}  // namespace base

#endif  // BASE_THREAD_LOCAL_POINTER_H_
