#include "diagnostics/crashpad_info_stream.h"

#include <cstring>
#include <vector>

#include "base/logging.h"
#include "base/string_conv.h"

namespace diagnostics {
namespace {

// Byte offsets of the fixed part.
constexpr size_t kVersionOffset = 0;
constexpr size_t kAnnotationsLocationOffset = 4 + 16 + 16;  // DataSize, then Rva
constexpr size_t kModuleListLocationOffset = kAnnotationsLocationOffset + 8;
constexpr size_t kFixedSize = kModuleListLocationOffset + 8;

// A dump holds a handful of streams; anything much larger is not a dump.
constexpr uint32_t kMaxStreams = 4096;
constexpr uint32_t kMaxStreamSize = 16 * 1024 * 1024;

void PutU32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out->push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void SetU32(std::string* out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    (*out)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

bool GetU32(const std::string& in, size_t offset, uint32_t* value) {
  if (offset > in.size() || in.size() - offset < 4)
    return false;
  *value = 0;
  for (int i = 3; i >= 0; --i)
    *value = (*value << 8) | static_cast<unsigned char>(in[offset + i]);
  return true;
}

void PutGuid(std::string* out, const GUID& guid) {
  out->append(reinterpret_cast<const char*>(&guid), sizeof(guid));
}

// Appends a length-prefixed, zero-terminated string at a 4-byte boundary and
// answers where it starts.
uint32_t PutString(std::string* out, const std::string& text) {
  out->resize((out->size() + 3) & ~size_t{3}, '\0');
  uint32_t at = static_cast<uint32_t>(out->size());
  PutU32(out, static_cast<uint32_t>(text.size()));
  out->append(text);
  out->push_back('\0');
  return at;
}

}  // namespace

std::string GuidText(const GUID& guid) {
  std::string text = base::HexPadded(guid.Data1, 8, true) + "-" +
                     base::HexPadded(guid.Data2, 4, true) + "-" +
                     base::HexPadded(guid.Data3, 4, true) + "-";
  for (int i = 0; i < 8; ++i) {
    if (i == 2)
      text += '-';
    text += base::HexPadded(guid.Data4[i], 2, true);
  }
  return text;
}

std::string BuildCrashpadInfoStream(const GUID& report_id, const GUID& client_id,
                                    const std::map<std::string, std::string>& annotations) {
  std::string out;
  PutU32(&out, 1);
  PutGuid(&out, report_id);
  PutGuid(&out, client_id);
  PutU32(&out, 0);  // Annotation dictionary: size and offset, filled below.
  PutU32(&out, 0);
  PutU32(&out, 0);  // No module list.
  PutU32(&out, 0);

  const uint32_t dictionary = static_cast<uint32_t>(out.size());
  const uint32_t dictionary_size = 4 + 8 * static_cast<uint32_t>(annotations.size());
  PutU32(&out, static_cast<uint32_t>(annotations.size()));
  out.resize(out.size() + 8 * annotations.size(), '\0');
  size_t entry = dictionary + 4;
  for (const auto& [key, value] : annotations) {
    SetU32(&out, entry, PutString(&out, key));
    SetU32(&out, entry + 4, PutString(&out, value));
    entry += 8;
  }
  SetU32(&out, kAnnotationsLocationOffset, dictionary_size);
  SetU32(&out, kAnnotationsLocationOffset + 4, dictionary);
  return out;
}

bool RelocateCrashpadInfoStream(std::string* stream, uint32_t stream_offset) {
  uint32_t version = 0, dictionary_size = 0, dictionary = 0, count = 0;
  if (!GetU32(*stream, kVersionOffset, &version) || version != 1 ||
      stream->size() < kFixedSize ||
      !GetU32(*stream, kAnnotationsLocationOffset, &dictionary_size) ||
      !GetU32(*stream, kAnnotationsLocationOffset + 4, &dictionary) ||
      !GetU32(*stream, dictionary, &count) ||
      dictionary_size != 4 + 8ull * count ||
      stream->size() - dictionary < dictionary_size) {
    return false;
  }
  std::string relocated = *stream;
  auto shift = [&](size_t at) {
    uint32_t value = 0;
    if (!GetU32(relocated, at, &value) || value >= relocated.size())
      return false;
    SetU32(&relocated, at, value + stream_offset);
    return true;
  };
  if (!shift(kAnnotationsLocationOffset + 4))
    return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (!shift(dictionary + 4 + 8 * i) || !shift(dictionary + 8 + 8 * i))
      return false;
  }
  *stream = std::move(relocated);
  return true;
}

namespace {

bool ReadAt(HANDLE file, uint32_t offset, void* buffer, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = offset;
  DWORD read = 0;
  return ::ReadFile(file, buffer, size, &read, &at) && read == size;
}

bool WriteAt(HANDLE file, uint32_t offset, const void* buffer, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = offset;
  DWORD written = 0;
  return ::WriteFile(file, buffer, size, &written, &at) && written == size;
}

}  // namespace

bool FixCrashpadInfoStreamInDump(HANDLE file) {
  // MINIDUMP_HEADER: signature, version, stream count, directory offset, ...
  uint32_t header[4];
  if (!ReadAt(file, 0, header, sizeof(header))) {
    PLOG(ERROR) << "ReadFile";
    return false;
  }
  if (header[0] != 0x504d444d || header[2] > kMaxStreams) {  // "MDMP"
    LOG(ERROR) << "not a minidump";
    return false;
  }
  // Directory entries: stream type, data size, offset.
  std::vector<uint32_t> directory(3 * size_t{header[2]});
  if (!directory.empty() &&
      !ReadAt(file, header[3], directory.data(), static_cast<DWORD>(directory.size() * 4))) {
    PLOG(ERROR) << "ReadFile";
    return false;
  }
  for (size_t i = 0; i < directory.size(); i += 3) {
    if (directory[i] != kCrashpadInfoStreamType)
      continue;
    const uint32_t size = directory[i + 1], offset = directory[i + 2];
    if (size > kMaxStreamSize) {
      LOG(ERROR) << "crashpad info stream too large";
      return false;
    }
    std::string stream(size, '\0');
    if (!ReadAt(file, offset, stream.data(), size)) {
      PLOG(ERROR) << "ReadFile";
      return false;
    }
    if (!RelocateCrashpadInfoStream(&stream, offset)) {
      LOG(ERROR) << "malformed crashpad info stream";
      return false;
    }
    if (!WriteAt(file, offset, stream.data(), size)) {
      PLOG(ERROR) << "WriteFile";
      return false;
    }
    return true;
  }
  LOG(ERROR) << "no crashpad info stream in the dump";
  return false;
}

}  // namespace diagnostics
