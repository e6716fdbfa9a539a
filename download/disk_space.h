#ifndef DOWNLOAD_DISK_SPACE_H_
#define DOWNLOAD_DISK_SPACE_H_

#include <cstdint>

namespace download {

// Whether `bytes` are free for the caller on the drive of Program Files
// (system-level) or of the local application data folder (per user). Answers
// true when either lookup fails, so a broken query never blocks an installation.
bool HasEnoughDiskSpace(bool system_level, uint64_t bytes);

}  // namespace download

#endif  // DOWNLOAD_DISK_SPACE_H_
