#ifndef BASE_PRIVATE_DIRECTORY_H_
#define BASE_PRIVATE_DIRECTORY_H_

#include <windows.h>

#include <string>
#include <vector>

namespace base {

// A new directory that only SYSTEM and the Administrators may change, for
// files that an elevated process runs: nothing of another process can be
// swapped in, or planted beside them. The name is fresh and random, and
// creating it fails rather than opening one that someone made beforehand.
// Removed, with the files made in it through this object, when it goes.
class PrivateDirectory {
 public:
  PrivateDirectory() = default;
  ~PrivateDirectory();
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;

  // Creates the directory inside `parent`. False, with the last error, when
  // it cannot be made.
  bool Create(const std::wstring& parent);
  const std::wstring& path() const { return path_; }

  // Copies what `source` reads from its current position to its end into a
  // new file `name` here, through a fixed buffer. Answers the file's path, or
  // empty on failure (a partial file goes with the directory).
  std::wstring CopyFrom(HANDLE source, const std::wstring& name);

 private:
  std::wstring path_;
  std::vector<std::wstring> files_;
};

// The system's own temporary folder (the Windows folder's "Temp"); empty when
// the Windows folder cannot be read.
std::wstring SystemTempDirectory();

}  // namespace base

#endif  // BASE_PRIVATE_DIRECTORY_H_
