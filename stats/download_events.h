#ifndef STATS_DOWNLOAD_EVENTS_H_
#define STATS_DOWNLOAD_EVENTS_H_

#include <atomic>
#include <cstdint>
#include <string>

namespace stats {

class StatReporter;

// What one setup-archive download attempt reports.
struct DownloadAttempt {
  bool success = false;
  std::wstring url;  // The requested URL.
  uint32_t attempt_number = 0;  // From 1.
  uint32_t downloaded_size = 0;
  uint32_t total_size = 0;
  std::wstring error;      // The download engine's error text.
  std::wstring final_url;  // The last redirect target; empty without redirects.
  bool x64 = false;        // The 64-bit archive was chosen.
};

// The download's progress events. `reporter` may be null: nothing is sent.
void ReportDownloadStarted(StatReporter* reporter);
// Sends the error event first for a failed attempt, then the attempt event;
// neither once the user has cancelled (`cancel_count` at least 1).
void ReportDownloadAttempt(StatReporter* reporter, const std::atomic<int>& cancel_count,
                           const DownloadAttempt& attempt);
void ReportDownloadError(StatReporter* reporter, uint32_t attempt_number,
                         const std::wstring& error);
// `download_microseconds` < 0: the archive was not downloaded (no download_time).
void ReportDownloadFinished(StatReporter* reporter, int64_t download_microseconds);

}  // namespace stats

#endif  // STATS_DOWNLOAD_EVENTS_H_
