#include "download/file_version.h"

#include <windows.h>

#include <vector>

#include "base/logging.h"

namespace download {

namespace {

bool ReadFixedFileInfo(const std::wstring& path, VS_FIXEDFILEINFO* info) {
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0)
    return false;
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
    return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
      !fixed || fixed_size < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  *info = *fixed;
  return true;
}

}  // namespace

bool GetFileVersion(const std::wstring& path, uint64_t* version) {
  VS_FIXEDFILEINFO info = {};
  if (!ReadFixedFileInfo(path, &info))
    return false;
  *version = (static_cast<uint64_t>(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
  LOG(INFO) << "File: " << path << " Version: " << static_cast<unsigned long>(info.dwFileVersionMS)
            << "." << static_cast<unsigned long>(info.dwFileVersionLS);
  return true;
}

std::string FileVersionString(const std::wstring& path) {
  VS_FIXEDFILEINFO info = {};
  if (!ReadFixedFileInfo(path, &info))
    return "0.0.0.0";
  return std::to_string(HIWORD(info.dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info.dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info.dwFileVersionLS)) + "." +
         std::to_string(LOWORD(info.dwFileVersionLS));
}

}  // namespace download
