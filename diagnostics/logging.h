#ifndef DIAGNOSTICS_LOGGING_H_
#define DIAGNOSTICS_LOGGING_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace diagnostics {

// Values are the file's severity numbers.
enum class Severity { kInfo = 0, kError = 1, kWarning = 2 };

constexpr Severity LOG_SEVERITY_INFO = Severity::kInfo;
constexpr Severity LOG_SEVERITY_ERROR = Severity::kError;
constexpr Severity LOG_SEVERITY_WARNING = Severity::kWarning;

const char* SeverityName(Severity severity);

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

// Collects the text of one statement and hands it to the process-wide logger
// when the statement ends. Never fails its caller.
class LogMessage {
 public:
  LogMessage(Severity severity, const char* function, int line);
  // The error variant: " - " (when the text is not empty) and `error_text`
  // are appended when the message is emitted.
  LogMessage(Severity severity, const char* function, int line, std::string error_text);
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

}  // namespace diagnostics

// LOG(INFO) << "text";  PLOG(ERROR) << "text";  (appends the last system error)
// ELOG(ERROR, code) << "text";  (appends the given system error)
#define LOG(severity) \
  ::diagnostics::LogMessage(::diagnostics::LOG_SEVERITY_##severity, __func__, __LINE__)
#define ELOG(severity, code)                                                         \
  ::diagnostics::LogMessage(::diagnostics::LOG_SEVERITY_##severity, __func__, __LINE__, \
                            ::diagnostics::SystemErrorText(code))
#define PLOG(severity)                                                           \
  ::diagnostics::LogMessage(::diagnostics::LOG_SEVERITY_##severity, __func__, __LINE__, \
                            ::diagnostics::SystemErrorText(::GetLastError()))
// For statements that report under another function's name, as the entry
// sequence's helpers do under "wWinMain".
#define LOG_AS(function, severity) \
  ::diagnostics::LogMessage(::diagnostics::LOG_SEVERITY_##severity, function, __LINE__)
#define ELOG_AS(function, severity, code)                                        \
  ::diagnostics::LogMessage(::diagnostics::LOG_SEVERITY_##severity, function, __LINE__, \
                            ::diagnostics::SystemErrorText(code))
#define PLOG_AS(function, severity)                                              \
  ::diagnostics::LogMessage(::diagnostics::LOG_SEVERITY_##severity, function, __LINE__, \
                            ::diagnostics::SystemErrorText(::GetLastError()))

#include "diagnostics/error_text.h"

#endif  // DIAGNOSTICS_LOGGING_H_
