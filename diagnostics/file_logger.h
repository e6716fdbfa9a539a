#ifndef DIAGNOSTICS_FILE_LOGGER_H_
#define DIAGNOSTICS_FILE_LOGGER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/logging.h"
#include "base/scoped_handle.h"

namespace diagnostics {

using base::LogRecord;
using base::Severity;
using base::SeverityName;

// Appends log lines to a file that several processes may share. Each line is
// written under a named mutex derived from the path, and the file is rotated
// to "<name>_old<ext>" when it would reach `max_size` bytes.
class FileLogger {
 public:
  FileLogger(std::wstring path, uint64_t max_size);
  virtual ~FileLogger();
  FileLogger(const FileLogger&) = delete;
  FileLogger& operator=(const FileLogger&) = delete;

  // Writes one record. Never fails its caller: a record that cannot be
  // written is dropped. May be called from any thread.
  virtual void Emit(const LogRecord& record);

  const std::wstring& path() const { return path_; }

  // The log path of the installer: the temporary directory + "thin_installer.log";
  // at the root of the current drive when there is no temporary directory.
  static std::wstring DefaultPath();
  static constexpr uint64_t kDefaultMaxSize = 1048576;

 private:
  const std::wstring path_;
  const uint64_t max_size_;
  const std::wstring mutex_name_;
  const base::ScopedHandle mutex_;  // Invalid when it could not be made.
  // Atomic: a writer that could not take the mutex touches them too.
  std::atomic<bool> rotation_failed_{false};
  std::atomic<bool> lock_failure_reported_{false};
};

// Installs the process-wide logger, destroying the previous one, and makes it
// the sink of every log statement. Call before other threads log (the entry
// point does so first thing).
void InstallLogger(std::unique_ptr<FileLogger> logger);
// The installed logger, or null.
FileLogger* GetLogger();

// The "_old" sibling of a log path: "C:\t\thin_installer.log" -> "C:\t\thin_installer_old.log".
std::wstring RotatedLogPath(const std::wstring& path);

}  // namespace diagnostics

#endif  // DIAGNOSTICS_FILE_LOGGER_H_
