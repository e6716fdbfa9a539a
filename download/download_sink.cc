#include "download/download_sink.h"

#include <algorithm>
#include <cstdint>

namespace download {

bool FileSink::Write(const void* data, uint32_t size) {
  if (needs_truncation_) {
    // Stray bytes from before a failed reset must not end up in the middle.
    if (!TruncateAt(total_written_))
      return false;
    needs_truncation_ = false;
  }
  // Offsets are 32-bit: past 4 GiB the count would wrap and the write land
  // over the file's start.
  if (size > UINT32_MAX - total_written_) {
    ::SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  DWORD written = 0;
  bool ok = WriteAt(total_written_, data, size, &written);
  DWORD error = ok ? ERROR_DISK_FULL : ::GetLastError();
  total_written_ += std::min<DWORD>(written, size);
  if (ok && written == size)
    return true;
  // Whatever the failed call left past the accepted bytes goes, now or
  // before the next write.
  needs_truncation_ = !TruncateAt(total_written_);
  ::SetLastError(error);
  return false;
}

bool FileSink::Reset() {
  total_written_ = 0;
  identity_ = ResponseIdentity();
  needs_truncation_ = !TruncateAt(0);
  return !needs_truncation_;
}

bool FileSink::WriteAt(uint32_t offset, const void* data, uint32_t size, DWORD* written) {
  // An offset on a synchronous handle writes there and moves the file
  // pointer past the written bytes.
  OVERLAPPED at = {};
  at.Offset = offset;
  return ::WriteFile(file_, data, size, written, &at) != 0;
}

bool FileSink::TruncateAt(uint32_t offset) {
  LARGE_INTEGER distance = {};
  distance.QuadPart = offset;
  return ::SetFilePointerEx(file_, distance, nullptr, FILE_BEGIN) && ::SetEndOfFile(file_);
}

bool StringSink::Write(const void* data, uint32_t size) {
  if (size > max_size_ - data_.size()) {
    ::SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  data_.append(static_cast<const char*>(data), size);
  total_written_ += size;
  return true;
}

bool StringSink::Reset() {
  data_.clear();
  total_written_ = 0;
  identity_ = ResponseIdentity();
  return true;
}

}  // namespace download
