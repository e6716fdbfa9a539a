#ifndef DOWNLOAD_IMAGE_BOUNDS_H_
#define DOWNLOAD_IMAGE_BOUNDS_H_

#include <windows.h>

#include <cstdint>

namespace download {

// Whether the open file `file` is a PE image whose headers and section data
// all lie inside its `file_size` bytes. A data-file mapping trusts the
// section table, so a truncated archive would send the resource lookup past
// the end of the file; this is asked before such a mapping is made. Reads
// only the headers, at explicit offsets.
bool ImageSectionsInsideFile(HANDLE file, uint64_t file_size);

}  // namespace download

#endif  // DOWNLOAD_IMAGE_BOUNDS_H_
