#ifndef DIAGNOSTICS_LOG_CAPTURE_FOR_TESTING_H_
#define DIAGNOSTICS_LOG_CAPTURE_FOR_TESTING_H_

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/file_logger.h"

namespace diagnostics {

// Installs a logger that keeps records in memory for the life of the object,
// and removes it afterwards. For tests only.
class ScopedLogCapture {
 public:
  ScopedLogCapture() {
    auto logger = std::make_unique<CapturingLogger>();
    logger_ = logger.get();
    InstallLogger(std::move(logger));
  }
  ~ScopedLogCapture() { InstallLogger(nullptr); }

  const std::vector<LogRecord>& records() const { return logger_->records; }
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const LogRecord& record : logger_->records)
      out.push_back(record.message);
    return out;
  }
  void Clear() { logger_->records.clear(); }

 private:
  struct CapturingLogger : FileLogger {
    CapturingLogger() : FileLogger(L"", 0) {}
    void Emit(const LogRecord& record) override { records.push_back(record); }
    std::vector<LogRecord> records;
  };
  CapturingLogger* logger_;
};

}  // namespace diagnostics

#endif  // DIAGNOSTICS_LOG_CAPTURE_FOR_TESTING_H_
