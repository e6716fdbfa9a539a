#ifndef DIAGNOSTICS_HTTP_BODY_STREAM_H_
#define DIAGNOSTICS_HTTP_BODY_STREAM_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/scoped_handle.h"

namespace diagnostics {

// A request body produced piece by piece, as the transport asks for it.
class HttpBodyStream {
 public:
  virtual ~HttpBodyStream() = default;
  // Fills up to `max` bytes of `buffer` and sets `*count`; a count of 0 means
  // the body has ended. False on an error (logged by the stream).
  virtual bool Read(uint8_t* buffer, size_t max, size_t* count) = 0;
};

class StringBodyStream : public HttpBodyStream {
 public:
  explicit StringBodyStream(std::string data) : data_(std::move(data)) {}
  bool Read(uint8_t* buffer, size_t max, size_t* count) override;

 private:
  std::string data_;
  size_t position_ = 0;
};

// Reads an open file from its current position to its end.
class FileBodyStream : public HttpBodyStream {
 public:
  explicit FileBodyStream(base::ScopedHandle file) : file_(std::move(file)) {}
  bool Read(uint8_t* buffer, size_t max, size_t* count) override;

 private:
  base::ScopedHandle file_;
};

// The given streams one after the other.
class CompositeBodyStream : public HttpBodyStream {
 public:
  explicit CompositeBodyStream(std::vector<std::unique_ptr<HttpBodyStream>> parts)
      : parts_(std::move(parts)) {}
  bool Read(uint8_t* buffer, size_t max, size_t* count) override;

 private:
  std::vector<std::unique_ptr<HttpBodyStream>> parts_;
  size_t current_ = 0;
};

// The source stream, gzip-compressed.
class GzipBodyStream : public HttpBodyStream {
 public:
  explicit GzipBodyStream(std::unique_ptr<HttpBodyStream> source);
  ~GzipBodyStream() override;
  bool Read(uint8_t* buffer, size_t max, size_t* count) override;

 private:
  struct State;
  std::unique_ptr<HttpBodyStream> source_;
  std::unique_ptr<State> state_;
};

// The whole body at once; false when a read fails. For tests and small bodies.
bool ReadWholeBody(HttpBodyStream* stream, std::string* out);

}  // namespace diagnostics

#endif  // DIAGNOSTICS_HTTP_BODY_STREAM_H_
