#include "download/disk_space.h"

#include <windows.h>
#include <shlobj.h>

#include "diagnostics/logging.h"

namespace download {

bool HasEnoughDiskSpace(bool system_level, uint64_t bytes) {
  wchar_t folder[MAX_PATH];
  int csidl = system_level ? CSIDL_PROGRAM_FILES : CSIDL_LOCAL_APPDATA;
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    LOG(INFO) << "SHGetFolderPath failed";
    return true;
  }
  ULARGE_INTEGER available = {};
  if (!::GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr)) {
    LOG(INFO) << "GetDiskFreeSpaceEx failed";
    return true;
  }
  if (available.QuadPart >= bytes)
    return true;
  LOG(INFO) << "There is not enough disk space to install browser";
  return false;
}

}  // namespace download
