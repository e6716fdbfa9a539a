#include "base/system_library.h"

#include <delayimp.h>

namespace base {

std::wstring SystemLibraryPath(std::wstring_view name) {
  if (name.empty() || name.find_first_of(L"\\/:") != std::wstring_view::npos)
    return {};
  wchar_t dir[MAX_PATH];
  UINT length = ::GetSystemDirectoryW(dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return {};
  std::wstring path(dir, length);
  if (path.back() != L'\\')
    path += L'\\';
  path += name;
  return path;
}

HMODULE LoadSystemLibrary(std::wstring_view name, DWORD flags) {
  std::wstring path = SystemLibraryPath(name);
  if (path.empty()) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // Data-file loads run no code and resolve no imports.
  if (!(flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)))
    flags |= LOAD_WITH_ALTERED_SEARCH_PATH;
  return ::LoadLibraryExW(path.c_str(), nullptr, flags);
}

namespace {

// Binds every library that the executable imports on first use (wininet,
// wintrust, crypt32, version, ...) to the system directory's copy. When that
// copy cannot be loaded the documented delay-load failure is raised here,
// rather than letting the helper fall back to a search by bare name, which
// would reach the executable's own folder.
FARPROC WINAPI DelayLoadNotify(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || !info || !info->szDll)
    return nullptr;
  std::wstring name;
  for (const char* c = info->szDll; *c; ++c)
    name.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
  HMODULE module = LoadSystemLibrary(name);
  if (!module) {
    info->dwLastError = ::GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    return nullptr;  // Reached only when a handler continues execution.
  }
  return reinterpret_cast<FARPROC>(module);
}

}  // namespace

}  // namespace base

// The delay-load helper's notification hook. The link names this symbol as
// undefined up front, so this definition wins over the runtime's empty one.
PfnDliHook __pfnDliNotifyHook2 = base::DelayLoadNotify;
