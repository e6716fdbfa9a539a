#include "base/logging.h"

#include "base/clock.h"
#include "base/string_conv.h"

namespace base {

namespace {

LogSink g_sink = nullptr;

}  // namespace

void SetLogSink(LogSink sink) {
  g_sink = sink;
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kInfo: return "INFO";
    case Severity::kError: return "ERROR";
    case Severity::kWarning: return "WARNING";
  }
  return "INFO";
}

LogMessage::LogMessage(const char* function, int site)
    : saved_last_error_(::GetLastError()) {
  record_.severity = static_cast<Severity>(site & 3);
  record_.function = function;
  record_.line = site >> 2;
  record_.wall_time_us = base::DefaultClock()->WallMicroseconds();
  record_.process_id = ::GetCurrentProcessId();
  record_.thread_id = ::GetCurrentThreadId();
}

LogMessage::LogMessage(const char* function, int site, std::string error_text)
    : LogMessage(function, site) {
  error_text_ = std::move(error_text);
  has_error_ = true;
}

LogMessage::LogMessage(const char* function, int site, DWORD error)
    : LogMessage(function, site, SystemErrorText(error)) {}

LogMessage::~LogMessage() {
  if (has_error_) {
    if (!record_.message.empty())
      record_.message += " - ";
    record_.message += error_text_;
  }
  if (LogSink sink = g_sink)
    sink(record_);
  // Logging must not disturb the caller's error handling.
  ::SetLastError(saved_last_error_);
}

LogMessage& LogMessage::operator<<(std::string_view text) {
  record_.message.append(text);
  return *this;
}

LogMessage& LogMessage::operator<<(std::wstring_view text) {
  record_.message += base::WideToUtf8(text);
  return *this;
}

LogMessage& LogMessage::operator<<(long long value) {
  record_.message += std::to_string(value);
  return *this;
}

LogMessage& LogMessage::operator<<(unsigned long long value) {
  record_.message += std::to_string(value);
  return *this;
}

}  // namespace base
