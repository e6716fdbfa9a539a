#ifndef BASE_SCOPED_INTERNET_HANDLE_H_
#define BASE_SCOPED_INTERNET_HANDLE_H_

#include <windows.h>
#include <wininet.h>

#include "base/scoped_handle.h"

namespace base {

struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::InternetCloseHandle(h); }
};

// Owns a WinINet session, connection or request handle.
using ScopedInternetHandle = ScopedGeneric<InternetHandleTraits>;

}  // namespace base

#endif  // BASE_SCOPED_INTERNET_HANDLE_H_
