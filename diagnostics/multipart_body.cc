#include "diagnostics/multipart_body.h"

#include <windows.h>
#include <ntsecapi.h>

#include <vector>

#include "base/string_conv.h"

namespace diagnostics {

namespace {

// Field and file names come partly from the distribution tag, which anyone
// may stamp: a quote or a line break in one would end its header early.
// They are escaped as browsers escape form-data names.
std::string EscapeHeaderName(const std::string& name) {
  return base::PercentEncodeBytes(
      name, [](unsigned char byte) { return byte == '"' || byte == '\r' || byte == '\n'; });
}

}  // namespace

std::string MultipartBody::MakeBoundary() {
  static constexpr char kAlphabet[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  constexpr unsigned kAlphabetSize = sizeof(kAlphabet) - 1;  // 62
  // Bytes at or above 248 (4 * 62) are dropped, so that every character is
  // equally likely.
  constexpr unsigned kLimit = 256 - 256 % kAlphabetSize;
  std::string random;
  while (random.size() < 32) {
    unsigned char bytes[64];
    if (!RtlGenRandom(bytes, sizeof(bytes))) {
      // Still a valid boundary; only its unpredictability suffers.
      for (unsigned char& b : bytes)
        b = static_cast<unsigned char>((::GetTickCount() * 2654435761u + random.size()) >> 24);
    }
    for (unsigned char b : bytes) {
      if (b < kLimit && random.size() < 32)
        random.push_back(kAlphabet[b % kAlphabetSize]);
    }
  }
  return "---MultipartBoundary-" + random + "---";
}

void MultipartBody::SetFile(std::string name, std::string file_name, std::string content_type,
                            std::unique_ptr<HttpBodyStream> data) {
  file_name_field_ = std::move(name);
  file_name_ = std::move(file_name);
  content_type_ = std::move(content_type);
  file_data_ = std::move(data);
}

std::string MultipartBody::ContentType() const {
  return "multipart/form-data; boundary=" + boundary_;
}

std::unique_ptr<HttpBodyStream> MultipartBody::TakeStream() {
  const std::string dash_boundary = "--" + boundary_ + "\r\n";
  std::string head;
  for (const auto& [key, value] : fields_) {
    head += dash_boundary + "Content-Disposition: form-data; name=\"" + EscapeHeaderName(key) +
            "\"\r\n\r\n" + value + "\r\n";
  }
  std::vector<std::unique_ptr<HttpBodyStream>> parts;
  if (file_data_) {
    head += dash_boundary + "Content-Disposition: form-data; name=\"" +
            EscapeHeaderName(file_name_field_) + "\"; filename=\"" + EscapeHeaderName(file_name_) +
            "\"\r\nContent-Type: " + content_type_ + "\r\n\r\n";
    parts.push_back(std::make_unique<StringBodyStream>(std::move(head)));
    parts.push_back(std::move(file_data_));
    head = "\r\n";
  }
  head += "--" + boundary_ + "--\r\n";
  parts.push_back(std::make_unique<StringBodyStream>(std::move(head)));
  return std::make_unique<CompositeBodyStream>(std::move(parts));
}

}  // namespace diagnostics
