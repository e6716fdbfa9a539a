#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// Values are the file's severity numbers.
enum class Severity { kInfo = 0, kError = 1, kWarning = 2 };

constexpr Severity LOG_SEVERITY_INFO = Severity::kInfo;
constexpr Severity LOG_SEVERITY_ERROR = Severity::kError;
constexpr Severity LOG_SEVERITY_WARNING = Severity::kWarning;

const char* SeverityName(Severity severity);

constexpr int LogSite(Severity severity, int line) {
  return line * 4 + static_cast<int>(severity);
}

// One log statement, as the logger receives it.
struct LogRecord {
  Severity severity = Severity::kInfo;
  const char* function = "";
  int line = 0;
  int64_t wall_time_us = 0;  // Microseconds since 1601-01-01 UTC.
  DWORD process_id = 0;
  DWORD thread_id = 0;
  std::string message;  // With " - " and the error text already appended.
};

// Where finished statements go; null drops them. The file logger installs
// itself here, so everything above this folder can log without knowing it.
using LogSink = void (*)(const LogRecord& record);
// Call before other threads log (the entry point does so first thing).
void SetLogSink(LogSink sink);

// Collects the text of one statement and hands it to the process-wide logger
// when the statement ends. Never fails its caller.
class LogMessage {
 public:
  // `site` is LogSite(severity, line): one number is a smaller call than two,
  // and there are a few hundred statements.
  LogMessage(const char* function, int site);
  // The error variant: " - " (when the text is not empty) and `error_text`
  // are appended when the message is emitted.
  LogMessage(const char* function, int site, std::string error_text);
  // The same with the system's text for `error`, made here rather than at
  // every call site.
  LogMessage(const char* function, int site, DWORD error);
  ~LogMessage();
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  LogMessage& operator<<(std::string_view text);
  LogMessage& operator<<(const char* text) { return *this << std::string_view(text); }
  LogMessage& operator<<(const std::string& text) { return *this << std::string_view(text); }
  // Wide text is written as UTF-8.
  LogMessage& operator<<(std::wstring_view text);
  LogMessage& operator<<(const wchar_t* text) { return *this << std::wstring_view(text); }
  LogMessage& operator<<(const std::wstring& text) { return *this << std::wstring_view(text); }
  LogMessage& operator<<(char c) { return *this << std::string_view(&c, 1); }
  LogMessage& operator<<(int value) { return *this << static_cast<long long>(value); }
  LogMessage& operator<<(long value) { return *this << static_cast<long long>(value); }
  LogMessage& operator<<(long long value);
  LogMessage& operator<<(unsigned value) { return *this << static_cast<unsigned long long>(value); }
  LogMessage& operator<<(unsigned long value) {
    return *this << static_cast<unsigned long long>(value);
  }
  LogMessage& operator<<(unsigned long long value);

 private:
  LogRecord record_;
  std::string error_text_;
  bool has_error_ = false;
  DWORD saved_last_error_;
};

}  // namespace base

// LOG(INFO) << "text";  PLOG(ERROR) << "text";  (appends the last system error)
// ELOG(ERROR, code) << "text";  (appends the given system error)
// The severity is pasted, not passed on: ERROR is also a macro of wingdi.h.
#define LOG(severity) \
  ::base::LogMessage(__func__, ::base::LogSite(::base::LOG_SEVERITY_##severity, __LINE__))
#define ELOG(severity, code)                                                                 \
  ::base::LogMessage(__func__, ::base::LogSite(::base::LOG_SEVERITY_##severity, __LINE__), \
                     static_cast<DWORD>(code))
#define PLOG(severity)                                                                       \
  ::base::LogMessage(__func__, ::base::LogSite(::base::LOG_SEVERITY_##severity, __LINE__), \
                     ::GetLastError())
// For statements that report under another function's name, as the entry
// sequence's helpers do under "wWinMain".
#define LOG_AS(function, severity) \
  ::base::LogMessage(function, ::base::LogSite(::base::LOG_SEVERITY_##severity, __LINE__))
#define ELOG_AS(function, severity, code)                                                    \
  ::base::LogMessage(function, ::base::LogSite(::base::LOG_SEVERITY_##severity, __LINE__), \
                     static_cast<DWORD>(code))
#define PLOG_AS(function, severity)                                                          \
  ::base::LogMessage(function, ::base::LogSite(::base::LOG_SEVERITY_##severity, __LINE__), \
                     ::GetLastError())

#include "base/error_text.h"

#endif  // BASE_LOGGING_H_
