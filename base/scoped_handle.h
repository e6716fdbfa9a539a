#ifndef BASE_SCOPED_HANDLE_H_
#define BASE_SCOPED_HANDLE_H_

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace base {

// Owns one Windows handle-like value and closes it with Traits::Close.
// Closing preserves the thread's last error, so a failing call can be logged
// after its handles went out of scope.
template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle handle) : handle_(handle) {}
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ~ScopedGeneric() { reset(); }

  bool is_valid() const { return Traits::IsValid(handle_); }
  Handle get() const { return handle_; }

  // Closes the owned value (if any) and takes `handle`.
  void reset(Handle handle = Traits::NullValue()) {
    if (handle_ == handle)
      return;
    if (Traits::IsValid(handle_)) {
      DWORD error = ::GetLastError();
      Traits::Close(handle_);
      ::SetLastError(error);
    }
    handle_ = handle;
  }

  // Gives up ownership without closing.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Traits::NullValue()); }

  // Closes the owned value and answers a slot for an API that returns one.
  Handle* Receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::NullValue();
};

// Kernel objects: both nullptr and INVALID_HANDLE_VALUE mean "none".
struct HandleTraits {
  using Handle = HANDLE;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle NullValue() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};

// CryptoAPI contexts and hashes (<wincrypt.h>); 0 means "none".
struct CryptProviderTraits {
  using Handle = HCRYPTPROV;
  static Handle NullValue() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { ::CryptReleaseContext(h, 0); }
};

struct CryptHashTraits {
  using Handle = HCRYPTHASH;
  static Handle NullValue() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { ::CryptDestroyHash(h); }
};

using ScopedHandle = ScopedGeneric<HandleTraits>;
using ScopedFindHandle = ScopedGeneric<FindHandleTraits>;
using ScopedRegKey = ScopedGeneric<RegKeyTraits>;
using ScopedModule = ScopedGeneric<ModuleTraits>;
using ScopedCryptProvider = ScopedGeneric<CryptProviderTraits>;
using ScopedCryptHash = ScopedGeneric<CryptHashTraits>;

}  // namespace base

#endif  // BASE_SCOPED_HANDLE_H_
