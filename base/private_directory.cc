#include "base/private_directory.h"

#include <sddl.h>

#include <memory>

#include "base/file_util.h"
#include "base/guid.h"
#include "base/scoped_handle.h"

namespace base {

namespace {

// Full control for SYSTEM and the Administrators, inherited by the files;
// nothing inherited from the parent, whose users may create files there.
constexpr wchar_t kPrivateDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr DWORD kCopyBufferSize = 64 * 1024;
constexpr int kNameAttempts = 4;

}  // namespace

PrivateDirectory::~PrivateDirectory() {
  for (const std::wstring& file : files_)
    ::DeleteFileW(file.c_str());
  if (!path_.empty())
    ::RemoveDirectoryW(path_.c_str());
}

bool PrivateDirectory::Create(const std::wstring& parent) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          kPrivateDacl, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr)) {
    return false;
  }
  std::unique_ptr<void, decltype(&::LocalFree)> descriptor(attributes.lpSecurityDescriptor,
                                                           &::LocalFree);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring guid = NewGuidText();
    if (guid.empty())
      return false;
    std::wstring path = JoinPath(parent, L"tx" + guid);
    // Fails on an existing directory, or on a link that someone put there.
    if (::CreateDirectoryW(path.c_str(), &attributes)) {
      path_ = std::move(path);
      return true;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return false;
}

std::wstring PrivateDirectory::CopyFrom(HANDLE source, const std::wstring& name) {
  if (path_.empty())
    return std::wstring();
  std::wstring target = JoinPath(path_, name);
  ScopedHandle file(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid())
    return std::wstring();
  files_.push_back(target);
  auto buffer = std::make_unique<char[]>(kCopyBufferSize);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(source, buffer.get(), kCopyBufferSize, &read, nullptr))
      return std::wstring();
    if (read == 0)
      break;
    DWORD written = 0;
    if (!::WriteFile(file.get(), buffer.get(), read, &written, nullptr) || written != read)
      return std::wstring();
  }
  return target;
}

std::wstring SystemTempDirectory() {
  wchar_t windows[MAX_PATH] = {};
  UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return std::wstring();
  return JoinPath(std::wstring(windows, length), L"Temp");
}

}  // namespace base
