#ifndef DISTRIBUTION_TAGGED_IMAGE_FOR_TESTING_H_
#define DISTRIBUTION_TAGGED_IMAGE_FOR_TESTING_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Builders of signed-looking PE images that carry a distribution tag, in the
// certificate set or after the signature. For tests only.
namespace distribution::tagged_image {

using namespace std::string_literals;

// A DER element whose length octets can be broken on purpose.
struct Node {
  uint8_t identifier = 0x30;
  std::string content;
  uint8_t broken_length = 0;  // 0x80 or 0x85 to write that instead.

  std::string Encode() const {
    std::string out(1, static_cast<char>(identifier));
    if (broken_length) {
      out += static_cast<char>(broken_length);
    } else if (content.size() < 0x80) {
      out += static_cast<char>(content.size());
    } else {
      out += "\x82"s;
      out += static_cast<char>(content.size() >> 8);
      out += static_cast<char>(content.size() & 0xFF);
    }
    return out + content;
  }
};

inline std::string Der(uint8_t identifier, const std::string& content, uint8_t broken = 0) {
  return Node{identifier, content, broken}.Encode();
}

inline const std::string kTemplate =
    "\xA0\x03\x02\x01\x02\x02\x01\x01\x30\x0D\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x01\x05\x05\x00"
    "\x30\x19\x31\x17\x30\x15\x06\x03\x55\x04\x03\x13\x0E" "Unknown issuer"
    "\x30\x1E\x17\x0D" "130101100000Z" "\x17\x0D" "130401100000Z"
    "\x30\x1C\x31\x1A\x30\x18\x06\x03\x55\x04\x03\x13\x11" "Dummy certificate"s;

inline std::string Payload(const std::string& tag, size_t padding = 16) {
  std::string out;
  out += static_cast<char>(tag.size() >> 8);
  out += static_cast<char>(tag.size() & 0xFF);
  return out + tag + std::string(padding, '\0');
}

// A certificate built like the tagging tool's; `tbs_prefix` replaces the
// template and `payload` is the fourth extension's value.
inline std::string Certificate(const std::string& payload,
                               const std::string& tbs_prefix = kTemplate,
                               uint8_t broken_extensions = 0) {
  const std::string spki = Der(0x30, Der(0x30, "\x06\x01\x01\x05\x00"s) + Der(0x03, "\x00key"s));
  const std::string extension = Der(0x30, Der(0x06, "\x55\x1D\x0F"s) + Der(0x04, "x"));
  const std::string tag_extension = Der(0x30, Der(0x06, "\x2B\x06\x01"s) + Der(0x04, payload));
  const std::string extensions =
      Der(0xA3, Der(0x30, extension + extension + extension + tag_extension, broken_extensions));
  const std::string tbs = Der(0x30, tbs_prefix + spki + extensions);
  return Der(0x30, tbs + Der(0x30, "\x06\x01\x01"s) + Der(0x03, "\x00sig"s));
}

inline std::string RealCertificate() {
  return Certificate(Payload("not a dummy"), "\xA0\x03\x02\x01\x02\x02\x02\x10\x01"s);
}

// Which outer header to break, in walking order.
enum class Broken { kNone, kContentInfo, kContentType, kExplicit, kSignedData, kVersion,
                    kDigestAlgorithms, kEncapsulated, kCertificates };

inline std::string ContentInfo(const std::vector<std::string>& certificates,
                               Broken broken = Broken::kNone, uint8_t form = 0x85) {
  auto b = [&](Broken which) { return broken == which ? form : uint8_t{0}; };
  std::string set;
  for (const std::string& certificate : certificates)
    set += certificate;
  const std::string signed_data =
      Der(0x02, "\x01", b(Broken::kVersion)) + Der(0x31, Der(0x30, "\x06\x01\x01"s),
                                                   b(Broken::kDigestAlgorithms)) +
      Der(0x30, Der(0x06, "\x2B\x06"s), b(Broken::kEncapsulated)) +
      Der(0xA0, set, b(Broken::kCertificates)) + Der(0x31, Der(0x30, "signer"));
  return Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02"s, b(Broken::kContentType)) +
                       Der(0xA0, Der(0x30, signed_data, b(Broken::kSignedData)),
                           b(Broken::kExplicit)),
             b(Broken::kContentInfo));
}

inline void PutLe16(std::string* s, size_t at, uint16_t v) {
  (*s)[at] = static_cast<char>(v & 0xFF);
  (*s)[at + 1] = static_cast<char>(v >> 8);
}
inline void PutLe32(std::string* s, size_t at, uint32_t v) {
  PutLe16(s, at, v & 0xFFFF);
  PutLe16(s, at + 2, v >> 16);
}

constexpr size_t kPeOffset = 0x80;
constexpr size_t kTableOffset = 0x200;

// A PE image whose certificate table, at kTableOffset, holds `signature`
// behind an entry header, then `extra`. The table's size covers both.
inline std::string Image(const std::string& signature, uint16_t magic = 0x10B,
                         const std::string& extra = "") {
  std::string image(kTableOffset, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutLe32(&image, 60, kPeOffset);
  image.replace(kPeOffset, 4, "PE\0\0"s);
  PutLe16(&image, kPeOffset + 24, magic);
  const size_t directories = kPeOffset + 24 + (magic == 0x20B ? 108 : 92);
  const std::string table = "\0\0\0\0\0\x02\x02\x00"s + signature + extra;
  PutLe32(&image, directories, 16);
  PutLe32(&image, directories + 36, kTableOffset);
  PutLe32(&image, directories + 40, static_cast<uint32_t>(table.size()));
  PutLe32(&image, kTableOffset, static_cast<uint32_t>(table.size()));
  return image + table;
}

// The older placement: a PE32 image whose signature is followed by a block.
inline std::string TrailerImage(const std::string& block, size_t content_size = 300,
                                uint16_t magic = 0x10B) {
  const std::string signature = Der(0x30, std::string(content_size, 's'));
  const size_t padding = ((content_size + 19) & 0x1FFF8) - (12 + content_size);
  return Image(signature, magic, std::string(padding, '\0') + block);
}

inline std::string Block(const std::string& tag, const std::string& magic = "Tnxt") {
  return magic + static_cast<char>(tag.size() >> 8) + static_cast<char>(tag.size() & 0xFF) + tag;
}

}  // namespace distribution::tagged_image

#endif  // DISTRIBUTION_TAGGED_IMAGE_FOR_TESTING_H_
