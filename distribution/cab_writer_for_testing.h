#ifndef DISTRIBUTION_CAB_WRITER_FOR_TESTING_H_
#define DISTRIBUTION_CAB_WRITER_FOR_TESTING_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace distribution {

// Builds a cabinet in memory: one folder without compression, the files'
// bytes one after another in data blocks of at most 32 KiB, checksums 0
// (which means "not computed"). For tests only.
inline std::string MakeCabinetForTesting(
    const std::vector<std::pair<std::string, std::string>>& files) {
  constexpr size_t kHeaderSize = 36;
  constexpr size_t kFolderSize = 8;
  constexpr size_t kMaxBlock = 32768;

  auto put16 = [](std::string* out, uint16_t value) {
    out->push_back(static_cast<char>(value & 0xFF));
    out->push_back(static_cast<char>(value >> 8));
  };
  auto put32 = [&put16](std::string* out, uint32_t value) {
    put16(out, static_cast<uint16_t>(value & 0xFFFF));
    put16(out, static_cast<uint16_t>(value >> 16));
  };

  std::string stream;
  std::string entries;
  for (const auto& [name, bytes] : files) {
    put32(&entries, static_cast<uint32_t>(bytes.size()));
    put32(&entries, static_cast<uint32_t>(stream.size()));  // Offset in the folder.
    put16(&entries, 0);                                     // Folder 0.
    put16(&entries, (41 << 9) | (1 << 5) | 1);              // 2021-01-01.
    put16(&entries, 12 << 11);                              // 12:00.
    put16(&entries, 0x20);                                  // FILE_ATTRIBUTE_ARCHIVE.
    entries += name;
    entries.push_back('\0');
    stream += bytes;
  }

  std::string blocks;
  uint16_t block_count = 0;
  for (size_t offset = 0; offset < stream.size(); offset += kMaxBlock) {
    std::string chunk = stream.substr(offset, kMaxBlock);
    put32(&blocks, 0);
    put16(&blocks, static_cast<uint16_t>(chunk.size()));
    put16(&blocks, static_cast<uint16_t>(chunk.size()));
    blocks += chunk;
    ++block_count;
  }

  const size_t files_offset = kHeaderSize + kFolderSize;
  const size_t data_offset = files_offset + entries.size();
  std::string cab = "MSCF";
  put32(&cab, 0);
  put32(&cab, static_cast<uint32_t>(data_offset + blocks.size()));
  put32(&cab, 0);
  put32(&cab, static_cast<uint32_t>(files_offset));
  put32(&cab, 0);
  cab.push_back(3);  // Version 1.3.
  cab.push_back(1);
  put16(&cab, 1);  // Folders.
  put16(&cab, static_cast<uint16_t>(files.size()));
  put16(&cab, 0);  // Flags: no reserve, no neighbouring cabinets.
  put16(&cab, 0x1234);
  put16(&cab, 0);
  put32(&cab, static_cast<uint32_t>(data_offset));
  put16(&cab, block_count);
  put16(&cab, 0);  // No compression.
  return cab + entries + blocks;
}

}  // namespace distribution

#endif  // DISTRIBUTION_CAB_WRITER_FOR_TESTING_H_
