#ifndef DOWNLOAD_DOWNLOAD_SINK_H_
#define DOWNLOAD_DOWNLOAD_SINK_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace download {

// Where a download's body goes. `total_written` counts the bytes accepted so
// far; a download that finds it non-zero resumes from there.
class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  // Appends `size` bytes; answers false when they could not all be kept.
  virtual bool Write(const void* data, uint32_t size) = 0;
  // Discards everything written.
  virtual void Reset() = 0;

  uint32_t total_written() const { return total_written_; }

 protected:
  uint32_t total_written_ = 0;
};

// Writes into an open file handle, which the creator keeps owning.
class FileSink : public DownloadSink {
 public:
  explicit FileSink(HANDLE file) : file_(file) {}
  bool Write(const void* data, uint32_t size) override;
  // Truncates the file at offset 0.
  void Reset() override;

 private:
  HANDLE file_;
};

// Collects the body in memory; never fails.
class StringSink : public DownloadSink {
 public:
  bool Write(const void* data, uint32_t size) override;
  void Reset() override;
  std::string& data() { return data_; }

 private:
  std::string data_;
};

}  // namespace download

#endif  // DOWNLOAD_DOWNLOAD_SINK_H_
