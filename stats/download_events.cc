#include "stats/download_events.h"

#include "base/string_conv.h"
#include "stats/install_event.h"
#include "stats/stat_reporter.h"
#include "stats/url_parts.h"

namespace stats {

void ReportDownloadStarted(StatReporter* reporter) {
  SendIfReporting(reporter, {{"action", L"download"}, {"stage", L"started"}});
}

void ReportDownloadError(StatReporter* reporter, uint32_t attempt_number,
                         const std::wstring& error) {
  SendIfReporting(reporter, {{"action", L"download"},
                  {"stage", L"error"},
                  {"error", L"attempt-" + base::NumberToWString(attempt_number) + L"-" + error}});
}

void ReportDownloadAttempt(StatReporter* reporter, const std::atomic<int>& cancel_count,
                           const DownloadAttempt& attempt) {
  if (cancel_count.load(std::memory_order_seq_cst) >= 1)
    return;
  if (!attempt.success)
    ReportDownloadError(reporter, attempt.attempt_number, attempt.error);
  InstallEvent event = {
      {"action", L"download_attempt"},
      {"status", attempt.success ? L"success" : L"failed"},
      {"attempt_number", base::NumberToWString(attempt.attempt_number)},
      {"downloaded_size", base::NumberToWString(attempt.downloaded_size)},
      {"total_size", base::NumberToWString(attempt.total_size)},
  };
  if (!attempt.success)
    event["error"] = attempt.error;
  std::wstring url = EscapeUrlSegment(attempt.url);
  if (!url.empty())
    event["url"] = url;
  std::wstring host = UrlHost(attempt.final_url);
  if (!host.empty())
    event["redirect"] = host;
  if (attempt.x64)
    event["x64"] = L"1";
  SendIfReporting(reporter, event);
}

void ReportDownloadFinished(StatReporter* reporter, int64_t download_microseconds) {
  InstallEvent event = {{"action", L"download"}, {"stage", L"finished"}};
  if (download_microseconds >= 0)
    event["download_time"] = base::NumberToWString(download_microseconds / 1000000);
  SendIfReporting(reporter, event);
}

}  // namespace stats
