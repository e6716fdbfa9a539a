#include "distribution/distribution_tag.h"

#include <windows.h>

#include <cstdint>
#include <algorithm>
#include <cstring>

#include "base/scoped_handle.h"
#include "base/logging.h"
#include "distribution/der_reader.h"

namespace distribution {

namespace {

constexpr size_t kPeOffsetPosition = 60;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// From the PE signature to the number of data directories.
constexpr uint64_t kDirectoryCountPe32 = 24 + 92;
constexpr uint64_t kDirectoryCountPe32Plus = 24 + 108;
// From the number of data directories to the certificate table's entry.
constexpr uint64_t kCertificateEntryOffset = 36;
constexpr uint64_t kCertificateEntryEnd = 44;
// From the PE signature to the certificate table's offset, for the trailer
// reader, which needs nothing else of the headers.
constexpr uint64_t kCertificateOffsetPe32 = 24 + 96 + 32;
constexpr uint64_t kCertificateOffsetPe32Plus = 24 + 112 + 32;
constexpr size_t kWinCertificateHeaderSize = 8;

constexpr char kTrailerMagic[] = "Tnxt";
constexpr size_t kTrailerMagicSize = 4;
constexpr size_t kTrailerHeaderSize = kTrailerMagicSize + 2;

// An installer is a few megabytes; refusing absurd sizes keeps the single
// allocation of the whole file reasonable on a 32-bit process.
constexpr int64_t kMaxFileSize = 256 * 1024 * 1024;

// The first 112 bytes of a dummy certificate's TBSCertificate contents:
// version v3, serial 1, sha1WithRSAEncryption, issuer CN "Unknown issuer",
// validity 2013-01-01 to 2013-04-01, subject CN "Dummy certificate".
constexpr uint8_t kDummyTemplate[] = {
    0xA0, 0x03, 0x02, 0x01, 0x02, 0x02, 0x01, 0x01, 0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48,
    0x86, 0xF7, 0x0D, 0x01, 0x01, 0x05, 0x05, 0x00, 0x30, 0x19, 0x31, 0x17, 0x30, 0x15, 0x06,
    0x03, 0x55, 0x04, 0x03, 0x13, 0x0E, 0x55, 0x6E, 0x6B, 0x6E, 0x6F, 0x77, 0x6E, 0x20, 0x69,
    0x73, 0x73, 0x75, 0x65, 0x72, 0x30, 0x1E, 0x17, 0x0D, 0x31, 0x33, 0x30, 0x31, 0x30, 0x31,
    0x31, 0x30, 0x30, 0x30, 0x30, 0x30, 0x5A, 0x17, 0x0D, 0x31, 0x33, 0x30, 0x34, 0x30, 0x31,
    0x31, 0x30, 0x30, 0x30, 0x30, 0x30, 0x5A, 0x30, 0x1C, 0x31, 0x1A, 0x30, 0x18, 0x06, 0x03,
    0x55, 0x04, 0x03, 0x13, 0x11, 0x44, 0x75, 0x6D, 0x6D, 0x79, 0x20, 0x63, 0x65, 0x72, 0x74,
    0x69, 0x66, 0x69, 0x63, 0x61, 0x74, 0x65};
static_assert(sizeof(kDummyTemplate) == 112);

uint16_t ReadLe16(std::string_view bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) |
                               (static_cast<uint8_t>(bytes[offset + 1]) << 8));
}

uint32_t ReadLe32(std::string_view bytes, size_t offset) {
  return static_cast<uint32_t>(ReadLe16(bytes, offset)) |
         (static_cast<uint32_t>(ReadLe16(bytes, offset + 2)) << 16);
}

uint16_t ReadBe16(std::string_view bytes, size_t offset) {
  return static_cast<uint16_t>((static_cast<uint8_t>(bytes[offset]) << 8) |
                               static_cast<uint8_t>(bytes[offset + 1]));
}

// Finds the certificate table of a PE32 or PE32+ image. All sums are 64-bit
// so that offsets near 4 GiB cannot wrap on a 32-bit build.
bool FindCertificateTable(std::string_view image, uint64_t* offset, uint64_t* size) {
  const uint64_t file_size = image.size();
  if (file_size < 64)
    return false;
  const uint64_t pe = ReadLe32(image, kPeOffsetPosition);
  if (file_size < pe + 96)
    return false;
  if (ReadLe32(image, pe) != kPeSignature)
    return false;
  const uint16_t magic = ReadLe16(image, pe + 24);
  uint64_t directory_count;
  if (magic == kPe32Magic)
    directory_count = pe + kDirectoryCountPe32;
  else if (magic == kPe32PlusMagic)
    directory_count = pe + kDirectoryCountPe32Plus;
  else
    return false;
  if (file_size < directory_count + kCertificateEntryEnd)
    return false;
  *offset = ReadLe32(image, directory_count + kCertificateEntryOffset);
  *size = ReadLe32(image, directory_count + kCertificateEntryOffset + 4);
  return file_size >= *offset + *size;
}

// Appends the tag of the certificate at the start of `certificate` when it
// is a dummy certificate with a reachable, complete payload.
void AppendDummyCertificateTag(DerReader certificate, DistributionTag* tag) {
  if (!certificate.Enter() || !certificate.Enter())
    return;
  const std::string_view tbs = certificate.Remaining();
  if (tbs.size() < sizeof(kDummyTemplate) ||
      std::memcmp(tbs.data(), kDummyTemplate, sizeof(kDummyTemplate)) != 0) {
    return;
  }
  // version .. subjectPublicKeyInfo, then [3] and the Extensions sequence;
  // past three extensions, the fourth's identifier, to its value.
  if (!certificate.SkipElements(7) || !certificate.Enter() || !certificate.Enter() ||
      !certificate.SkipElements(3) || !certificate.Enter() || !certificate.Skip() ||
      !certificate.Enter()) {
    return;
  }
  const std::string_view payload = certificate.Remaining();
  if (payload.size() < 2)
    return;
  const size_t length = ReadBe16(payload, 0);
  if (length > payload.size() - 2)
    return;
  tag->append(payload.substr(2, length));
}

}  // namespace

CertificateTagStatus ParseFakeCertificateTag(std::string_view image, DistributionTag* tag) {
  tag->clear();
  uint64_t table_offset = 0;
  uint64_t table_size = 0;
  if (!FindCertificateTable(image, &table_offset, &table_size))
    return CertificateTagStatus::kNoCertificateTable;
  // Both bounds lie within the image (checked above). An unsigned image has
  // an empty table, which leaves an empty window and fails the first step.
  const std::string_view table = image.substr(0, static_cast<size_t>(table_offset + table_size));
  DerReader reader(table, static_cast<size_t>(table_offset) + kWinCertificateHeaderSize);

  // ContentInfo, past contentType, into [0] and SignedData; past version,
  // digestAlgorithms and the encapsulated content, into the certificates.
  if (!reader.Enter() || !reader.Skip() || !reader.Enter() || !reader.Enter() ||
      !reader.SkipElements(3) || !reader.Enter()) {
    return CertificateTagStatus::kInvalidAsn1;
  }

  DistributionTag result;
  while (reader.position() < reader.end()) {
    DerReader::Header header;
    if (!reader.ReadHeader(&header) && !header.valid_length_form)
      return CertificateTagStatus::kInvalidAsn1;
    AppendDummyCertificateTag(reader, &result);
    // A certificate that runs past the set, or whose header is cut off,
    // cannot end exactly at the set's end: the format is broken.
    if (!reader.Skip())
      return CertificateTagStatus::kInvalidAsn1;
  }
  *tag = std::move(result);
  return CertificateTagStatus::kOk;
}

DistributionTag ParseSignatureTrailerTag(std::string_view image) {
  const uint64_t size = image.size();
  if (size < 64 || image.substr(0, 2) != "MZ")
    return DistributionTag();
  const uint64_t pe = ReadLe32(image, kPeOffsetPosition);
  if (size < pe + kCertificateOffsetPe32Plus + 4 || ReadLe32(image, pe) != kPeSignature)
    return DistributionTag();
  // A PE32+ image keeps its data directories 16 bytes further on; reading
  // the PE32 position there would take the exception table's offset.
  const uint64_t table = ReadLe32(
      image, pe + (ReadLe16(image, pe + 24) == kPe32PlusMagic ? kCertificateOffsetPe32Plus
                                                               : kCertificateOffsetPe32));
  if (table == 0 || size < table + 12)
    return DistributionTag();
  if (static_cast<uint8_t>(image[table + 8]) != 0x30 ||
      static_cast<uint8_t>(image[table + 9]) != 0x82) {
    return DistributionTag();
  }
  // Entry header, DER header and contents, rounded up to a multiple of 8.
  const uint64_t content_length = ReadBe16(image, table + 10);
  const uint64_t block = table + ((content_length + 19) & 0x1FFF8);
  if (size < block + kTrailerHeaderSize ||
      image.substr(block, kTrailerMagicSize) != std::string_view(kTrailerMagic, kTrailerMagicSize)) {
    return DistributionTag();
  }
  const uint64_t length = ReadBe16(image, block + kTrailerMagicSize);
  if (size < block + kTrailerHeaderSize + length)
    return DistributionTag();
  return DistributionTag(image.substr(block + kTrailerHeaderSize, length));
}

namespace {

// A browser or a virus scanner may still hold a fresh download open for
// writing; reading must not need it closed, or the campaign is lost.
HANDLE OpenShared(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool ReadAllBytesFromFile(const std::wstring& path, std::string* bytes) {
  base::ScopedHandle file(OpenShared(path));
  if (!file.is_valid()) {
    PLOG(WARNING) << "Can't open file " << path;
    return false;
  }
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(file.get(), &length)) {
    PLOG(WARNING) << "Failed to get length of " << path;
    return false;
  }
  if (length.QuadPart > kMaxFileSize) {
    ::SetLastError(ERROR_FILE_TOO_LARGE);
    PLOG(WARNING) << "Failed to get length of " << path;
    return false;
  }
  bytes->resize(static_cast<size_t>(length.QuadPart));
  size_t done = 0;
  while (done < bytes->size()) {
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1 << 20));
    if (!::ReadFile(file.get(), bytes->data() + done, chunk, &read, nullptr) || read == 0) {
      PLOG(WARNING) << "Failed to read all bytes of " << path;
      bytes->clear();
      return false;
    }
    done += read;
  }
  return true;
}

DistributionTag ExtractTagFromFakeCertificate(const std::wstring& path) {
  std::string image;
  if (!ReadAllBytesFromFile(path, &image)) {
    PLOG(WARNING) << "Failed to read file " << path;
    return DistributionTag();
  }
  DistributionTag tag;
  switch (ParseFakeCertificateTag(image, &tag)) {
    case CertificateTagStatus::kOk:
      break;
    case CertificateTagStatus::kNoCertificateTable:
      PLOG(WARNING) << "Failed to find certificate table in " << path;
      break;
    case CertificateTagStatus::kInvalidAsn1:
      PLOG(WARNING) << "Invalid ASN1 format of certificate table in " << path;
      break;
  }
  return tag;
}

DistributionTag ExtractTagFromSignatureTrailer(const std::wstring& path) {
  base::ScopedHandle file(OpenShared(path));
  if (!file.is_valid())
    return DistributionTag();
  LARGE_INTEGER file_size;
  if (!::GetFileSizeEx(file.get(), &file_size))
    return DistributionTag();
  base::ScopedHandle mapping(
      ::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.is_valid())
    return DistributionTag();
  const void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  if (!view)
    return DistributionTag();
  // The region is rounded up to whole pages; bounding it by the file's size
  // keeps a block that runs past the end of the file from reading the zero
  // fill as tag bytes.
  MEMORY_BASIC_INFORMATION info;
  DistributionTag tag;
  if (::VirtualQuery(view, &info, sizeof(info)) == sizeof(info)) {
    const size_t usable = static_cast<size_t>(
        std::min<uint64_t>(info.RegionSize, static_cast<uint64_t>(file_size.QuadPart)));
    tag = ParseSignatureTrailerTag(std::string_view(static_cast<const char*>(view), usable));
  }
  ::UnmapViewOfFile(view);
  return tag;
}

}  // namespace distribution
