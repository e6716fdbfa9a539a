#include "distribution/user_id.h"

#include <windows.h>
#include <lmcons.h>
#include <objbase.h>
#include <shlobj.h>

#include <utility>

#include "base/file_util.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/logging.h"

namespace distribution {

namespace {

constexpr wchar_t kDirectoryName[] = L"Tarnix";
constexpr wchar_t kFileName[] = L"ui";
constexpr wchar_t kMarkerPrefix[] = L"UICreated_";
constexpr size_t kMaxUserIdSize = 64;

}  // namespace

UserId::UserId(base::OsFacts* os_facts, UserIdMarkerKeys keys)
    : os_facts_(os_facts), keys_(std::move(keys)) {}

std::string UserId::GetUserIdInternal() {
  std::wstring path = GetUserIdFilePath(false);
  std::string id;
  if (!path.empty() && ReadUserIdFromFile(path, &id))
    return id;
  // Whoever once had an ID keeps having none rather than a second one, so
  // that the server never counts one user twice.
  if (MarkerExists()) {
    LOG(INFO) << "Registry entry already exists, skip User ID file generation";
    return {};
  }
  return GenerateAndStoreUserId();
}

std::wstring UserId::GetUserIdFilePath(bool create) {
  std::wstring dir = GetAppDataFolder(create);
  if (dir.empty()) {
    PLOG(WARNING) << "Can't get path to AppData folder";
    return {};
  }
  dir = base::JoinPath(dir, kDirectoryName);
  if (create && !base::CreateDirectoryTree(dir)) {
    PLOG(WARNING) << "Can't create directory: " << dir;
    return {};
  }
  return base::JoinPath(dir, kFileName);
}

bool UserId::ReadUserIdFromFile(const std::wstring& path, std::string* id) {
  // One byte more than an ID may hold tells a valid file from an overlong one.
  constexpr DWORD kReadLimit = kMaxUserIdSize + 1;
  base::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  char buffer[kReadLimit];
  DWORD read = 0;
  if (!file.is_valid() || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > kReadLimit ||
      !::ReadFile(file.get(), buffer, static_cast<DWORD>(size.QuadPart), &read, nullptr) ||
      read != static_cast<DWORD>(size.QuadPart)) {
    LOG(WARNING) << "Failed to read file " << path;
    return false;
  }
  if (read == 0 || read > kMaxUserIdSize) {
    LOG(WARNING) << "Incorrect User ID file content";
    return false;
  }
  id->assign(buffer, read);
  return true;
}

std::string UserId::GenerateAndStoreUserId() {
  std::string id = CreateGuidString();
  if (id.empty())
    return {};
  std::wstring path = GetUserIdFilePath(true);
  if (path.empty())
    return {};
  // A cut-off ID would otherwise be read back as valid by the next run.
  if (!base::WriteWholeFile(path, id)) {
    LOG(WARNING) << "Can't write file " << path;
    return {};
  }
  if (!RememberUidIsCreated()) {
    LOG(WARNING) << "Can't create 'UI created' entry";
    return {};
  }
  return id;
}

bool UserId::RememberUidIsCreated() {
  std::wstring user = GetLogonUserName();
  if (user.empty())
    return false;
  const std::wstring& key_path = IsVistaOrGreater() ? keys_.low : keys_.legacy;
  base::ScopedRegKey key;
  LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.Receive(),
                                  nullptr);
  if (status != ERROR_SUCCESS) {
    ELOG(WARNING, status) << "Can't open registry key: " << key_path;
    return false;
  }
  const std::wstring name = kMarkerPrefix + user;
  const DWORD one = 1;
  status = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&one), sizeof(one));
  if (status != ERROR_SUCCESS) {
    ELOG(WARNING, status) << "Can't create registry value '" << name << "' at '" << key_path;
    return false;
  }
  return true;
}

bool UserId::RegistryValueExist(HKEY root, const std::wstring& key_path,
                                const std::wstring& name) {
  base::ScopedRegKey key;
  LONG status = ::RegOpenKeyExW(root, key_path.c_str(), 0, KEY_READ, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND)
    return false;
  if (status != ERROR_SUCCESS) {
    ELOG(WARNING, status) << "Can't open registry key: " << key_path;
    return false;
  }
  return ::RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

bool UserId::IsVistaOrGreater() {
  base::OsVersion version = os_facts_->Version();
  if (version.major == 0) {
    LOG(WARNING) << "Can't get Windows version info";
    return false;
  }
  return version.major > 5;
}

std::wstring UserId::GetAppDataFolder(bool create) {
  wchar_t buffer[MAX_PATH];
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, create))
    return {};
  return buffer;
}

std::wstring UserId::GetLogonUserName() {
  wchar_t buffer[UNLEN + 1];
  DWORD size = UNLEN + 1;
  if (!::GetUserNameW(buffer, &size) || size == 0)
    return {};
  return std::wstring(buffer, size - 1);  // The count includes the terminator.
}

std::string UserId::CreateGuidString() {
  GUID guid;
  if (FAILED(::CoCreateGuid(&guid)))
    return {};
  wchar_t text[39];
  if (::StringFromGUID2(guid, text, 39) != 39)
    return {};
  return base::NarrowLow8(std::wstring_view(text, 38));
}

bool UserId::MarkerExists() {
  std::wstring user = GetLogonUserName();
  if (user.empty())
    return false;
  const std::wstring name = kMarkerPrefix + user;
  return RegistryValueExist(HKEY_CURRENT_USER, keys_.legacy, name) ||
         (IsVistaOrGreater() && RegistryValueExist(HKEY_CURRENT_USER, keys_.low, name));
}

std::string GetUserIdInternal() {
  return UserId(base::GetOsFacts()).GetUserIdInternal();
}

}  // namespace distribution
