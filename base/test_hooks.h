#ifndef BASE_TEST_HOOKS_H_
#define BASE_TEST_HOOKS_H_

#if defined(TX_TEST_HOOKS)

#include <windows.h>

#include <string>

namespace base {

// Builds with test hooks only: the value of a test environment variable,
// empty when it is unset or longer than a path.
std::wstring TestHookValue(const wchar_t* name);

// The variable as milliseconds, or `fallback` when it is unset.
DWORD TestHookMilliseconds(const wchar_t* name, DWORD fallback);

}  // namespace base

#endif  // TX_TEST_HOOKS

#endif  // BASE_TEST_HOOKS_H_
