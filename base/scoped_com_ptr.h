#ifndef BASE_SCOPED_COM_PTR_H_
#define BASE_SCOPED_COM_PTR_H_

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace base {

// Owns one reference to a COM interface and releases it when it goes.
// Releasing preserves the thread's last error, like the scoped handles.
// No implicit conversion to the raw pointer: get() is explicit about it.
template <typename Interface>
class ScopedComPtr {
 public:
  ScopedComPtr() = default;
  // Takes over the reference the caller holds; adds none.
  explicit ScopedComPtr(Interface* ptr) : ptr_(ptr) {}
  ScopedComPtr(ScopedComPtr&& other) noexcept : ptr_(other.release()) {}
  ScopedComPtr& operator=(ScopedComPtr&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ScopedComPtr(const ScopedComPtr&) = delete;
  ScopedComPtr& operator=(const ScopedComPtr&) = delete;
  ~ScopedComPtr() { reset(); }

  bool is_valid() const { return ptr_ != nullptr; }
  Interface* get() const { return ptr_; }
  Interface* operator->() const { return ptr_; }

  // Releases the held reference (if any) and takes over `ptr`.
  void reset(Interface* ptr = nullptr) {
    if (ptr_ == ptr)
      return;
    if (ptr_) {
      DWORD error = ::GetLastError();
      ptr_->Release();
      ::SetLastError(error);
    }
    ptr_ = ptr;
  }

  // Gives up the reference without releasing it.
  [[nodiscard]] Interface* release() { return std::exchange(ptr_, nullptr); }

  // Releases the held reference and answers a slot for an API that hands
  // one out.
  Interface** Receive() {
    reset();
    return &ptr_;
  }
  // The same slot for APIs that take a `void**` and an interface id.
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  // Asks the held object for `iid`; `out` receives the new reference.
  // Answers E_POINTER when nothing is held.
  template <typename Other>
  HRESULT QueryInterface(REFIID iid, ScopedComPtr<Other>* out) const {
    if (!ptr_)
      return E_POINTER;
    return ptr_->QueryInterface(iid, out->ReceiveVoid());
  }

 private:
  Interface* ptr_ = nullptr;
};

}  // namespace base

#endif  // BASE_SCOPED_COM_PTR_H_
