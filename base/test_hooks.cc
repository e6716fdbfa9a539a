#include "base/test_hooks.h"

#if defined(TX_TEST_HOOKS)

#include <cwchar>

namespace base {

std::wstring TestHookValue(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  DWORD size = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
  if (size == 0 || size >= MAX_PATH)
    return {};
  return std::wstring(buffer, size);
}

DWORD TestHookMilliseconds(const wchar_t* name, DWORD fallback) {
  std::wstring text = TestHookValue(name);
  return text.empty() ? fallback : std::wcstoul(text.c_str(), nullptr, 10);
}

}  // namespace base

#endif  // TX_TEST_HOOKS
