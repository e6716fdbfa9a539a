#ifndef BASE_LOG_CAPTURE_FOR_TESTING_H_
#define BASE_LOG_CAPTURE_FOR_TESTING_H_

#include <string>
#include <vector>

#include "base/logging.h"

namespace base {

// Becomes the log sink for the life of the object, keeping the records in
// memory, and drops later statements afterwards. For tests only.
class ScopedLogCapture {
 public:
  ScopedLogCapture() {
    Current() = this;
    SetLogSink([](const LogRecord& record) {
      if (ScopedLogCapture* capture = Current())
        capture->records_.push_back(record);
    });
  }
  ~ScopedLogCapture() {
    SetLogSink(nullptr);
    Current() = nullptr;
  }
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  const std::vector<LogRecord>& records() const { return records_; }
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const LogRecord& record : records_)
      out.push_back(record.message);
    return out;
  }
  void Clear() { records_.clear(); }

 private:
  static ScopedLogCapture*& Current() {
    static ScopedLogCapture* current = nullptr;
    return current;
  }
  std::vector<LogRecord> records_;
};

}  // namespace base

#endif  // BASE_LOG_CAPTURE_FOR_TESTING_H_
