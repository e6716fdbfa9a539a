#ifndef DISTRIBUTION_CAB_EXTRACTOR_H_
#define DISTRIBUTION_CAB_EXTRACTOR_H_

#include <string>
#include <string_view>

namespace distribution {

// Extracts the file named exactly `wanted` (case-sensitive) from a cabinet
// held in memory, with the system cabinet library's FDI functions. False when
// the library cannot be loaded, the cabinet cannot be read, the file is not
// in it, or it is larger than 1 MiB or cannot be held in memory; `contents`
// is then left unchanged.
bool ExtractFileFromCabinet(std::string_view cabinet, const std::string& wanted,
                            std::string* contents);

}  // namespace distribution

#endif  // DISTRIBUTION_CAB_EXTRACTOR_H_
