#ifndef DISTRIBUTION_DER_READER_H_
#define DISTRIBUTION_DER_READER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace distribution {

// Walks DER elements inside a window [position, end) of a byte buffer that
// may come from an untrusted file. Identifier octets are never examined: only
// the position of an element matters. Every step is checked against the
// window, so no read ever leaves it. The buffer is not owned and must
// outlive the reader.
class DerReader {
 public:
  // The window covers all of `bytes`.
  explicit DerReader(std::string_view bytes);
  // The window is [begin, bytes.size()); empty when `begin` lies beyond it.
  DerReader(std::string_view bytes, size_t begin);

  // The header of the element at the cursor. `valid_length_form` is false
  // for a long-form length with 0 or more than 4 length bytes, which is a
  // format error rather than a mere truncation.
  struct Header {
    bool valid_length_form = true;
    size_t header_size = 0;
    uint32_t content_size = 0;
  };

  // Reads the header at the cursor. Answers false when the header does not
  // fit in the window or its length form is invalid (see Header).
  bool ReadHeader(Header* header) const;

  // Narrows the window to the contents of the element at the cursor. Answers
  // false, leaving the reader unchanged, when the element does not fit.
  bool Enter();
  // Steps over the element at the cursor. Answers false, leaving the reader
  // unchanged, when the element does not fit.
  bool Skip();
  // Skip() `count` times; stops at the first failure.
  bool SkipElements(int count);

  size_t position() const { return position_; }
  size_t end() const { return end_; }
  bool AtEnd() const { return position_ == end_; }
  // The bytes from the cursor to the end of the window.
  std::string_view Remaining() const { return bytes_.substr(position_, end_ - position_); }
  // A reader over the same buffer with the window [position(), new_end);
  // `new_end` is clamped to this window's end.
  DerReader Narrowed(size_t new_end) const;

 private:
  DerReader(std::string_view bytes, size_t position, size_t end)
      : bytes_(bytes), position_(position), end_(end) {}
  // The header and the whole element's size, when the element fits.
  bool ElementFits(Header* header, size_t* total) const;

  std::string_view bytes_;
  size_t position_;
  size_t end_;
};

}  // namespace distribution

#endif  // DISTRIBUTION_DER_READER_H_
