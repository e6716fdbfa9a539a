#ifndef BASE_RESOURCE_UTIL_H_
#define BASE_RESOURCE_UTIL_H_

#include <windows.h>

#include <string_view>

namespace base {

// The bytes of the "BIN" resource `name` (an id through MAKEINTRESOURCEW, or a
// name) in `module`; null `module` means this executable. Empty when the
// resource is absent. The bytes live as long as the module stays loaded.
std::string_view LoadBinResource(HMODULE module, const wchar_t* name);

}  // namespace base

#endif  // BASE_RESOURCE_UTIL_H_
