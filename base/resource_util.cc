#include "base/resource_util.h"

namespace base {

std::string_view LoadBinResource(HMODULE module, const wchar_t* name) {
  HRSRC info = ::FindResourceW(module, name, L"BIN");
  if (!info)
    return {};
  DWORD size = ::SizeofResource(module, info);
  HGLOBAL loaded = ::LoadResource(module, info);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data || size == 0)
    return {};
  return std::string_view(static_cast<const char*>(data), size);
}

}  // namespace base
