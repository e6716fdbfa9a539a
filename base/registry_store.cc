#include "base/registry_store.h"

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/logging.h"

namespace base {

namespace {

constexpr DWORD kReadBufferBytes = 2048;
constexpr DWORD kMaxExpandedChars = 1024;
constexpr size_t kMaxKeyChars = 259;

// The product key followed by the install mode's suffix, which is empty here.
constexpr wchar_t kProductKey[] = L"Software\\Tarnix\\TarnixBrowser";
constexpr wchar_t kInstallModeSuffix[] = L"";

const wchar_t* RootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE)
    return L"HKEY_LOCAL_MACHINE";
  if (root == HKEY_CLASSES_ROOT)
    return L"HKEY_CLASSES_ROOT";
  if (root == HKEY_USERS)
    return L"HKEY_USERS";
  return L"HKEY_CURRENT_USER";
}

std::wstring FullName(HKEY root, const std::wstring& sub_key, const std::wstring& name) {
  return std::wstring(RootName(root)) + L"\\" + sub_key + L"\\" + name;
}

base::ScopedRegKey OpenForWriting(HKEY root, const std::wstring& sub_key) {
  base::ScopedRegKey key;
  if (::RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_WRITE, key.Receive()) == ERROR_SUCCESS)
    return key;
  if (::RegCreateKeyExW(root, sub_key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
    key.reset();
  }
  return key;
}

bool ReadString(HKEY root, const std::wstring& sub_key, const std::wstring& name,
                std::wstring* value) {
  base::ScopedRegKey key;
  if (::RegOpenKeyExW(root, sub_key.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
    return false;
  wchar_t buffer[kReadBufferBytes / sizeof(wchar_t)];
  DWORD size = sizeof(buffer);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return false;
  // The stored data need not end with a zero.
  std::wstring text(buffer, size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0')
    text.pop_back();
  if (type == REG_EXPAND_SZ) {
    // On the heap: with the read buffer it would make a frame over a page.
    std::wstring expanded(kMaxExpandedChars, L'\0');
    DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), kMaxExpandedChars);
    if (needed == 0 || needed > kMaxExpandedChars)
      return false;
    text.assign(expanded.c_str());
  }
  *value = std::move(text);
  return true;
}

}  // namespace

bool StoreValueInRegistry(HKEY root, const std::wstring& sub_key, const std::wstring& name,
                          const std::wstring& value) {
  base::ScopedRegKey key = OpenForWriting(root, sub_key);
  bool stored = key.is_valid() &&
                ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
                    ERROR_SUCCESS;
  LOG(INFO) << (stored ? "Stored" : "Failed to store") << " " << FullName(root, sub_key, name)
            << " = " << value;
  return stored;
}

bool ReadValueFromRegistry(HKEY root, const std::wstring& sub_key, const std::wstring& name,
                           std::wstring* value) {
  std::wstring text;
  bool read = ReadString(root, sub_key, name, &text);
  if (read) {
    *value = text;
    LOG(INFO) << "Read " << FullName(root, sub_key, name) << "which is \"" << text << "\"";
  } else {
    LOG(INFO) << "Failed to read " << FullName(root, sub_key, name);
  }
  return read;
}

bool RemoveValueFromRegistry(HKEY root, const std::wstring& sub_key, const std::wstring& name) {
  base::ScopedRegKey key = OpenForWriting(root, sub_key);
  bool removed = key.is_valid() && ::RegDeleteValueW(key.get(), name.c_str()) == ERROR_SUCCESS;
  LOG(INFO) << (removed ? "Removed" : "Failed to remove") << " "
            << FullName(root, sub_key, name);
  return removed;
}

const std::wstring& InstallerKey() {
  static const std::wstring key =
      (std::wstring(kProductKey) + kInstallModeSuffix).substr(0, kMaxKeyChars);
  return key;
}

bool StoreValue(const std::wstring& name, const std::wstring& value) {
  return StoreValueInRegistry(HKEY_CURRENT_USER, InstallerKey(), name, value);
}

std::wstring ReadValue(const std::wstring& name) {
  std::wstring value;
  ReadValueFromRegistry(HKEY_CURRENT_USER, InstallerKey(), name, &value);
  return value;
}

bool RemoveValue(const std::wstring& name) {
  return RemoveValueFromRegistry(HKEY_CURRENT_USER, InstallerKey(), name);
}

std::wstring ReadFilePathFromRegistry(const std::wstring& name) {
  std::wstring path = ReadValue(name);
  if (!base::PathExists(path))
    path.clear();
  LOG(INFO) << "Read " << FullName(HKEY_CURRENT_USER, InstallerKey(), name) << " which is \""
            << path << "\"";
  return path;
}

}  // namespace base
