#ifndef DOWNLOAD_DOWNLOAD_SINK_H_
#define DOWNLOAD_DOWNLOAD_SINK_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace download {

// Which answer the bytes of a sink came from, so that a resumed download can
// insist on the same file.
struct ResponseIdentity {
  uint32_t length = 0;        // The whole body's length; 0 when none was announced.
  std::string etag;           // A strong entity tag, quotes included; empty when none.
  std::string last_modified;  // The Last-Modified date as sent; empty when none.
};

// Where a download's body goes. `total_written` counts the bytes accepted so
// far; a download that finds it non-zero resumes from there. Used by one
// thread at a time.
class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  // Appends `size` bytes; answers false, with the last error set, when they
  // could not all be kept. Bytes that were kept still count.
  virtual bool Write(const void* data, uint32_t size) = 0;
  // Discards everything written, and the identity. False, with the last error
  // set, when the discarded bytes could not be removed; the sink then refuses
  // writes until they are.
  virtual bool Reset() = 0;

  uint32_t total_written() const { return total_written_; }
  const ResponseIdentity& identity() const { return identity_; }
  void set_identity(ResponseIdentity identity) { identity_ = std::move(identity); }

 protected:
  uint32_t total_written_ = 0;
  ResponseIdentity identity_;
};

// Writes into an open file handle, which the creator keeps owning. The file
// always ends where the accepted bytes end, and each block is written at that
// offset, so resumed bytes continue the accepted ones exactly.
class FileSink : public DownloadSink {
 public:
  explicit FileSink(HANDLE file) : file_(file) {}
  // A short write (a full disk) keeps the bytes that were written and fails
  // with ERROR_DISK_FULL unless the system said otherwise.
  bool Write(const void* data, uint32_t size) override;
  // Truncates the file at offset 0.
  bool Reset() override;

 protected:
  // The file operations, replaceable by tests of failing disks. WriteAt
  // writes at `offset` and leaves the file pointer after what it wrote;
  // TruncateAt makes `offset` the end of the file.
  virtual bool WriteAt(uint32_t offset, const void* data, uint32_t size, DWORD* written);
  virtual bool TruncateAt(uint32_t offset);

 private:
  HANDLE file_;
  bool needs_truncation_ = false;  // Bytes past `total_written_` may remain.
};

// Collects the body in memory, up to `max_size` bytes: what is read into
// memory (slides, side data, reports) is small, and a server that sends on
// without end must fail the download rather than exhaust the address space.
// A write past the limit fails with ERROR_FILE_TOO_LARGE.
class StringSink : public DownloadSink {
 public:
  static constexpr uint32_t kDefaultMaxSize = 16 * 1024 * 1024;

  explicit StringSink(uint32_t max_size = kDefaultMaxSize) : max_size_(max_size) {}
  bool Write(const void* data, uint32_t size) override;
  bool Reset() override;
  std::string& data() { return data_; }

 private:
  const uint32_t max_size_;
  std::string data_;
};

}  // namespace download

#endif  // DOWNLOAD_DOWNLOAD_SINK_H_
