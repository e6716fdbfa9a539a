#include "distribution/der_reader.h"

#include <algorithm>

namespace distribution {

namespace {

constexpr size_t kMaxLengthBytes = 4;

}  // namespace

DerReader::DerReader(std::string_view bytes) : bytes_(bytes), position_(0), end_(bytes.size()) {}

DerReader::DerReader(std::string_view bytes, size_t begin)
    : bytes_(bytes), position_(std::min(begin, bytes.size())), end_(bytes.size()) {}

bool DerReader::ReadHeader(Header* header) const {
  *header = Header();
  const size_t available = end_ - position_;
  // The identifier octet and the first length octet.
  if (available < 2)
    return false;
  const uint8_t first = static_cast<uint8_t>(bytes_[position_ + 1]);
  if ((first & 0x80) == 0) {
    header->header_size = 2;
    header->content_size = first;
    return true;
  }
  const size_t length_bytes = first & 0x7F;
  if (length_bytes == 0 || length_bytes > kMaxLengthBytes) {
    header->valid_length_form = false;
    return false;
  }
  if (available < 2 + length_bytes)
    return false;
  uint32_t length = 0;
  for (size_t i = 0; i < length_bytes; ++i)
    length = (length << 8) | static_cast<uint8_t>(bytes_[position_ + 2 + i]);
  header->header_size = 2 + length_bytes;
  header->content_size = length;
  return true;
}

bool DerReader::ElementFits(Header* header, size_t* total) const {
  if (!ReadHeader(header))
    return false;
  // Compared by subtraction: header + length may not be representable in a
  // 32-bit size_t.
  const size_t available = end_ - position_ - header->header_size;
  if (header->content_size > available)
    return false;
  *total = header->header_size + header->content_size;
  return true;
}

bool DerReader::Enter() {
  Header header;
  size_t total = 0;
  if (!ElementFits(&header, &total))
    return false;
  end_ = position_ + total;
  position_ += header.header_size;
  return true;
}

bool DerReader::Skip() {
  Header header;
  size_t total = 0;
  if (!ElementFits(&header, &total))
    return false;
  position_ += total;
  return true;
}

bool DerReader::SkipElements(int count) {
  for (int i = 0; i < count; ++i) {
    if (!Skip())
      return false;
  }
  return true;
}

DerReader DerReader::Narrowed(size_t new_end) const {
  return DerReader(bytes_, position_, std::clamp(new_end, position_, end_));
}

}  // namespace distribution
