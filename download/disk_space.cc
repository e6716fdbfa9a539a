#include "download/disk_space.h"

#include <windows.h>
#include <shlobj.h>

#include "base/string_conv.h"
#include "base/test_hooks.h"
#include "base/logging.h"

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
#if defined(TX_TEST_HOOKS)
  // Tests play a disk that is nearly full.
  uint64_t fake_free = 0;
  if (base::ParseUnsignedDecimal(base::TestHookValue(L"TX_TEST_FREE_DISK_BYTES"), &fake_free))
    available.QuadPart = fake_free;
#endif
  if (available.QuadPart >= bytes)
    return true;
  LOG(INFO) << "There is not enough disk space to install browser";
  return false;
}

}  // namespace download
