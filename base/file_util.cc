#include "base/file_util.h"

#include <windows.h>

#include "base/scoped_handle.h"

namespace base {

namespace {

DWORD Attributes(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str());
}

}  // namespace

bool PathExists(const std::wstring& path) {
  return !path.empty() && Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
  DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring DirName(std::wstring_view path) {
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring_view::npos)
    return {};
  return std::wstring(path.substr(0, slash));
}

std::wstring BaseName(std::wstring_view path) {
  size_t slash = path.find_last_of(L"\\/");
  return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::wstring JoinPath(std::wstring_view dir, std::wstring_view name) {
  std::wstring out(dir);
  if (out.empty())
    return std::wstring(name);
  if (out.back() != L'\\' && out.back() != L'/')
    out.push_back(L'\\');
  // The separator is already there; a name starting with one would double it.
  size_t start = name.find_first_not_of(L"\\/");
  if (start != std::wstring_view::npos)
    out.append(name.substr(start));
  return out;
}

std::wstring GetExecutablePath() {
  wchar_t buffer[MAX_PATH];
  ::SetLastError(ERROR_SUCCESS);  // Success leaves the last error as it was.
  DWORD size = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (size == 0 || size >= MAX_PATH || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER)
    return {};
  return std::wstring(buffer, size);
}

std::wstring GetTempDirectory() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD size = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (size == 0 || size >= MAX_PATH)
    return {};
  return std::wstring(buffer, size);
}

std::wstring CreateTemporaryDirectory(std::wstring_view prefix) {
  std::wstring temp = GetTempDirectory();
  if (temp.empty())
    return {};
  // GetTempFileNameW picks a unique name and creates a file by it; the file is
  // swapped for a directory of the same name.
  for (int attempt = 0; attempt < 20; ++attempt) {
    wchar_t name[MAX_PATH];
    std::wstring prefix_text(prefix.substr(0, 3));
    if (!::GetTempFileNameW(temp.c_str(), prefix_text.c_str(), 0, name))
      return {};
    ::DeleteFileW(name);
    if (::CreateDirectoryW(name, nullptr))
      return name;
  }
  return {};
}

std::wstring CreateTemporaryFileIn(const std::wstring& dir) {
  wchar_t name[MAX_PATH];
  if (dir.empty() || !::GetTempFileNameW(dir.c_str(), L"", 0, name))
    return {};
  return name;
}

bool DeleteAtReboot(const std::wstring& path) {
  return ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool CreateDirectoryTree(const std::wstring& dir) {
  if (dir.empty())
    return false;
  if (DirectoryExists(dir))
    return true;
  std::wstring parent = DirName(dir);
  if (!parent.empty() && parent != dir && parent.back() != L':' && !DirectoryExists(parent))
    CreateDirectoryTree(parent);
  return ::CreateDirectoryW(dir.c_str(), nullptr) || DirectoryExists(dir);
}

bool DirectoryHasMatch(const std::wstring& dir, const std::wstring& pattern) {
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(JoinPath(dir, pattern).c_str(), &data));
  if (!find.is_valid())
    return false;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return true;
  } while (::FindNextFileW(find.get(), &data));
  return false;
}

bool WriteWholeFile(const std::wstring& path, std::string_view content) {
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid())
    return false;
  DWORD written = 0;
  if (::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                  nullptr) &&
      written == content.size()) {
    return true;
  }
  DWORD error = ::GetLastError();
  file.reset();
  ::DeleteFileW(path.c_str());
  ::SetLastError(error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error);
  return false;
}

}  // namespace base
