#include "diagnostics/file_logger.h"

#include <windows.h>

#include "base/file_util.h"
#include "base/md5.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"

namespace diagnostics {

namespace {

constexpr DWORD kMutexWaitMs = 1000;
constexpr int kMaxDecorationLength = 200;

std::unique_ptr<FileLogger>& LoggerSlot() {
  // Never destroyed: a thread still running at exit (a statistics request
  // that never ends) may log while the runtime destroys the statics.
  static auto* logger = new std::unique_ptr<FileLogger>;
  return *logger;
}

enum class LockStatus { kOwned = 0, kNotOwned = 1, kAbandoned = 2 };

// Answers false when the text would take kMaxDecorationLength characters or more.
bool FormatPrefix(const LogRecord& record, std::string* prefix) {
  uint64_t ticks = static_cast<uint64_t>(record.wall_time_us) * 10;
  FILETIME ft = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME t = {};
  ::FileTimeToSystemTime(&ft, &t);
  // "YYYY-MM-DD hh:mm:ss.mmm PID:TID ", each number at least as wide as shown.
  const struct {
    uint64_t value;
    int width;
    char after;
  } kFields[] = {
      {t.wYear, 4, '-'},         {t.wMonth, 2, '-'},
      {t.wDay, 2, ' '},          {t.wHour, 2, ':'},
      {t.wMinute, 2, ':'},       {t.wSecond, 2, '.'},
      {t.wMilliseconds, 3, ' '}, {static_cast<uint64_t>(record.process_id), 2, ':'},
      {static_cast<uint64_t>(record.thread_id), 2, ' '},
  };
  std::string text;
  for (const auto& field : kFields) {
    base::AppendZeroPadded(field.value, field.width, &text);
    text.push_back(field.after);
  }
  if (text.size() >= kMaxDecorationLength)
    return false;
  *prefix = std::move(text);
  return true;
}

bool FormatLocation(const LogRecord& record, std::string* location) {
  std::string text = " (";
  text += record.function ? record.function : "(null)";
  text += ":" + std::to_string(record.line) + ")";
  if (text.size() >= kMaxDecorationLength)
    return false;
  *location = std::move(text);
  return true;
}

// GetFileSizeEx needs FILE_READ_ATTRIBUTES: without it the size check fails
// and the file would never rotate.
base::ScopedHandle OpenForAppend(const std::wstring& path) {
  return base::ScopedHandle(::CreateFileW(
      path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Holds the log mutex for one write: the logger's own handle, or one opened
// for this write when the logger could not keep one.
class ScopedLogLock {
 public:
  ScopedLogLock(HANDLE kept, const std::wstring& name) : mutex_(kept) {
    if (!mutex_) {
      opened_.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
      mutex_ = opened_.get();
    }
    if (!mutex_)
      return;
    switch (::WaitForSingleObject(mutex_, kMutexWaitMs)) {
      case WAIT_OBJECT_0: status_ = LockStatus::kOwned; break;
      case WAIT_ABANDONED: status_ = LockStatus::kAbandoned; break;
      default: status_ = LockStatus::kNotOwned; break;
    }
  }
  ~ScopedLogLock() {
    if (status_ != LockStatus::kNotOwned)
      ::ReleaseMutex(mutex_);
  }
  LockStatus status() const { return status_; }

 private:
  base::ScopedHandle opened_;
  HANDLE mutex_;
  LockStatus status_ = LockStatus::kNotOwned;
};

}  // namespace

FileLogger::FileLogger(std::wstring path, uint64_t max_size)
    : path_(std::move(path)),
      max_size_(max_size),
      mutex_name_(L"navupdater log " + base::WidenBytes(base::Md5HexUpper(base::WideToUtf8(path_)))),
      // Kept for the logger's life: opening it again for every line costs
      // two more kernel calls per line, and the window waits on them.
      mutex_(::CreateMutexW(nullptr, FALSE, mutex_name_.c_str())) {}

FileLogger::~FileLogger() = default;

std::wstring FileLogger::DefaultPath() {
  // Written exactly so, with the separator doubled after the directory's own:
  // the log mutex is named after this text, and every writer must agree on it.
  // Without a temporary directory the file goes to the current drive's root.
  return base::GetTempDirectory() + L"\\" + L"thin_installer" + L".log";
}

std::wstring RotatedLogPath(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
    return path + L"_old";
  return path.substr(0, dot) + L"_old" + path.substr(dot);
}

void FileLogger::Emit(const LogRecord& record) {
  std::string prefix, location;
  if (!FormatPrefix(record, &prefix) || !FormatLocation(record, &location))
    return;

  ScopedLogLock lock(mutex_.get(), mutex_name_);

  base::ScopedHandle file = OpenForAppend(path_);
  if (!file.is_valid()) {
    // The directory is made only when the file cannot be opened: the first
    // line, or after someone removed it.
    std::wstring dir = base::DirName(path_);
    bool is_root = dir.empty() || (dir.size() == 2 && dir[1] == L':');
    if (is_root || !base::CreateDirectoryTree(dir))
      return;
    file = OpenForAppend(path_);
    if (!file.is_valid())
      return;
  }

  // The notes about the file come first, then the statement; appended in
  // place rather than through temporaries, as this runs for every line.
  std::string text;
  const std::string path_text = base::WideToUtf8(path_);
  LARGE_INTEGER size = {};
  if (!rotation_failed_ && ::GetFileSizeEx(file.get(), &size) &&
      static_cast<uint64_t>(size.QuadPart) + prefix.size() + record.message.size() >= max_size_) {
    file.reset();
    bool renamed = ::MoveFileExW(path_.c_str(), RotatedLogPath(path_).c_str(),
                                 MOVEFILE_REPLACE_EXISTING) != 0;
    DWORD rename_error = ::GetLastError();
    file = OpenForAppend(path_);
    if (!file.is_valid())
      return;
    if (!renamed && !rotation_failed_.exchange(true)) {
      text.append(prefix).append("LOGGING: Failed to rotate log file ").append(path_text);
      text.append(": ").append(std::to_string(rename_error)) += '\n';
    }
  }

  if (lock.status() == LockStatus::kNotOwned && !lock_failure_reported_.exchange(true)) {
    text.append(prefix).append("LOGGING: Failed to lock log file ").append(path_text) += '\n';
  } else if (lock.status() == LockStatus::kAbandoned) {
    text.append(prefix).append("LOGGING: Abandoned log mutex recovered for file ");
    text.append(path_text) += '\n';
  }

  text.append(prefix).append(SeverityName(record.severity)).append(": ");
  text.append(record.message).append(location) += '\n';
  DWORD written = 0;
  ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void InstallLogger(std::unique_ptr<FileLogger> logger) {
  base::SetLogSink(nullptr);
  LoggerSlot() = std::move(logger);
  if (LoggerSlot())
    base::SetLogSink([](const LogRecord& record) { LoggerSlot()->Emit(record); });
}

FileLogger* GetLogger() {
  return LoggerSlot().get();
}

}  // namespace diagnostics
