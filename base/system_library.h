#ifndef BASE_SYSTEM_LIBRARY_H_
#define BASE_SYSTEM_LIBRARY_H_

#include <windows.h>

#include <string>
#include <string_view>

namespace base {

// `name` inside the system directory (GetSystemDirectoryW), as a full path.
// Empty when the directory cannot be read or `name` is not a bare file name:
// the installer runs from a Downloads folder, so a system library must never
// be looked up along the search path or by a relative name.
std::wstring SystemLibraryPath(std::wstring_view name);

// Loads the system directory's copy of `name` with `flags`; null (with the
// last error set) when it cannot. Its dependencies are looked up from the
// system directory too. The caller owns the module.
HMODULE LoadSystemLibrary(std::wstring_view name, DWORD flags = 0);

}  // namespace base

#endif  // BASE_SYSTEM_LIBRARY_H_
