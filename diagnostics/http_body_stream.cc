#include "diagnostics/http_body_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/logging.h"

namespace diagnostics {

bool StringBodyStream::Read(uint8_t* buffer, size_t max, size_t* count) {
  *count = std::min(max, data_.size() - position_);
  memcpy(buffer, data_.data() + position_, *count);
  position_ += *count;
  return true;
}

bool FileBodyStream::Read(uint8_t* buffer, size_t max, size_t* count) {
  DWORD read = 0;
  DWORD wanted = static_cast<DWORD>(std::min<size_t>(max, 1u << 30));
  if (!::ReadFile(file_.get(), buffer, wanted, &read, nullptr)) {
    PLOG(ERROR) << "ReadFile";
    *count = 0;
    return false;
  }
  *count = read;
  return true;
}

bool CompositeBodyStream::Read(uint8_t* buffer, size_t max, size_t* count) {
  *count = 0;
  while (current_ < parts_.size()) {
    if (!parts_[current_]->Read(buffer, max, count))
      return false;
    if (*count > 0)
      return true;
    ++current_;
  }
  return true;
}

struct GzipBodyStream::State {
  z_stream z = {};
  bool initialized = false;
  bool source_ended = false;
  bool finished = false;
  bool failed = false;
  uint8_t input[4096];
};

GzipBodyStream::GzipBodyStream(std::unique_ptr<HttpBodyStream> source)
    : source_(std::move(source)), state_(std::make_unique<State>()) {}

GzipBodyStream::~GzipBodyStream() {
  if (state_->initialized)
    deflateEnd(&state_->z);
}

bool GzipBodyStream::Read(uint8_t* buffer, size_t max, size_t* count) {
  State& s = *state_;
  *count = 0;
  if (s.failed)
    return false;
  if (s.finished || max == 0)
    return true;
  if (!s.initialized) {
    // Window bits 16 + 15: a gzip wrapper around the deflate data.
    int result = deflateInit2(&s.z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8,
                              Z_DEFAULT_STRATEGY);
    if (result != Z_OK) {
      LOG(ERROR) << "deflateInit2: " << (s.z.msg ? s.z.msg : zError(result));
      s.failed = true;
      return false;
    }
    s.initialized = true;
  }
  s.z.next_out = buffer;
  s.z.avail_out = static_cast<uInt>(std::min<size_t>(max, 1u << 30));
  // Deflate until the caller's buffer has something in it: small inputs are
  // held back by zlib until enough has gathered or the input ends.
  while (s.z.avail_out == max && !s.finished) {
    if (s.z.avail_in == 0 && !s.source_ended) {
      size_t read = 0;
      if (!source_->Read(s.input, sizeof(s.input), &read)) {
        s.failed = true;
        return false;
      }
      s.source_ended = read == 0;
      s.z.next_in = s.input;
      s.z.avail_in = static_cast<uInt>(read);
    }
    int result = deflate(&s.z, s.source_ended ? Z_FINISH : Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      s.finished = true;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      LOG(ERROR) << "deflate: " << (s.z.msg ? s.z.msg : zError(result));
      s.failed = true;
      return false;
    }
  }
  *count = max - s.z.avail_out;
  return true;
}

bool ReadWholeBody(HttpBodyStream* stream, std::string* out) {
  uint8_t buffer[8192];
  for (;;) {
    size_t count = 0;
    if (!stream->Read(buffer, sizeof(buffer), &count))
      return false;
    if (count == 0)
      return true;
    out->append(reinterpret_cast<const char*>(buffer), count);
  }
}

}  // namespace diagnostics
