#ifndef BASE_FILE_UTIL_H_
#define BASE_FILE_UTIL_H_

#include <string>
#include <string_view>

namespace base {

bool PathExists(const std::wstring& path);
bool FileExists(const std::wstring& path);  // A file, not a directory.
bool DirectoryExists(const std::wstring& path);

// "C:\a\b.exe" -> "C:\a" and "b.exe"; a path without separator has an empty directory.
std::wstring DirName(std::wstring_view path);
std::wstring BaseName(std::wstring_view path);
// Joins with exactly one backslash between the parts.
std::wstring JoinPath(std::wstring_view dir, std::wstring_view name);

// The running executable's path (GetModuleFileNameW into MAX_PATH units);
// empty when the call fails or the path does not fit.
std::wstring GetExecutablePath();

// GetTempPathW, with its trailing backslash; empty when the call fails or the
// path takes MAX_PATH or more characters.
std::wstring GetTempDirectory();

// Creates a new, uniquely named directory inside the temporary directory,
// its name starting with the first three characters of `prefix` (all that
// GetTempFileNameW takes). Answers the path, or empty on failure.
std::wstring CreateTemporaryDirectory(std::wstring_view prefix);

// Creates a new empty file with a unique name inside `dir`. Answers its path,
// or empty on failure.
std::wstring CreateTemporaryFileIn(const std::wstring& dir);

// Asks the system to delete `path` (a file or an empty directory) at the next reboot.
bool DeleteAtReboot(const std::wstring& path);

// Creates `dir` and any missing parents. Answers true when it exists afterwards.
bool CreateDirectoryTree(const std::wstring& dir);

// Creates or truncates `path` (not shared while open) and writes `content`
// in one write. A file that did not receive all of it is deleted, so that no
// reader ever takes a cut-off file for a whole one; the last error then says
// why (ERROR_WRITE_FAULT for a short write).
bool WriteWholeFile(const std::wstring& path, std::string_view content);

// Answers true when `dir` holds a file matching `pattern` (not recursive).
bool DirectoryHasMatch(const std::wstring& dir, const std::wstring& pattern);

}  // namespace base

#endif  // BASE_FILE_UTIL_H_
