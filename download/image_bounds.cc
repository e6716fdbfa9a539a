#include "download/image_bounds.h"

#include <vector>

namespace download {

namespace {

// The loader takes at most this many sections.
constexpr WORD kMaxSections = 96;

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ::ReadFile(file, buffer, size, &read, &at) && read == size;
}

}  // namespace

bool ImageSectionsInsideFile(HANDLE file, uint64_t file_size) {
  IMAGE_DOS_HEADER dos;
  if (!ReadAt(file, 0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      dos.e_lfanew < 0)
    return false;
  const uint64_t nt_offset = static_cast<uint32_t>(dos.e_lfanew);
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER file;
  } nt;
  if (!ReadAt(file, nt_offset, &nt, sizeof(nt)) || nt.signature != IMAGE_NT_SIGNATURE ||
      nt.file.NumberOfSections == 0 || nt.file.NumberOfSections > kMaxSections)
    return false;
  const uint64_t table_offset = nt_offset + sizeof(nt) + nt.file.SizeOfOptionalHeader;
  std::vector<IMAGE_SECTION_HEADER> sections(nt.file.NumberOfSections);
  const DWORD table_size = nt.file.NumberOfSections * sizeof(IMAGE_SECTION_HEADER);
  if (table_offset + table_size > file_size ||
      !ReadAt(file, table_offset, sections.data(), table_size))
    return false;
  for (WORD i = 0; i < nt.file.NumberOfSections; ++i) {
    const IMAGE_SECTION_HEADER& section = sections[i];
    if (section.SizeOfRawData &&
        uint64_t{section.PointerToRawData} + section.SizeOfRawData > file_size)
      return false;
  }
  return true;
}

}  // namespace download
