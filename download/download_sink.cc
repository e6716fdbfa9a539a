#include "download/download_sink.h"

namespace download {

bool FileSink::Write(const void* data, uint32_t size) {
  DWORD written = 0;
  if (!::WriteFile(file_, data, size, &written, nullptr) || written != size)
    return false;
  total_written_ += size;
  return true;
}

void FileSink::Reset() {
  ::SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
  ::SetEndOfFile(file_);
  total_written_ = 0;
}

bool StringSink::Write(const void* data, uint32_t size) {
  data_.append(static_cast<const char*>(data), size);
  total_written_ += size;
  return true;
}

void StringSink::Reset() {
  data_.clear();
  total_written_ = 0;
}

}  // namespace download
