#ifndef DOWNLOAD_FILE_VERSION_H_
#define DOWNLOAD_FILE_VERSION_H_

#include <cstdint>
#include <string>

namespace download {

// The 64-bit file version from the file's version resource, most significant
// part first. Answers false when the file has none; logs the result.
bool GetFileVersion(const std::wstring& path, uint64_t* version);

// "a.b.c.d", or "0.0.0.0" when the file has no version resource.
std::string FileVersionString(const std::wstring& path);

}  // namespace download

#endif  // DOWNLOAD_FILE_VERSION_H_
