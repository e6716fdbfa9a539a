#include "stats/download_events.h"

#include <gtest/gtest.h>

#include <vector>

#include "stats/stat_reporter.h"
#include "stats/url_parts.h"

namespace stats {
namespace {

class Recorder : public StatReporter {
 public:
  void SendEvent(const InstallEvent& event) override { events.push_back(event); }
  void SetParam(const std::string&, const std::wstring&) override {}
  std::vector<InstallEvent> events;
};

TEST(UrlPartsTest, HostOfTheFinalUrl) {
  EXPECT_EQ(UrlHost(L"https://mirror.example.net:8443/a/b?c=d"), L"mirror.example.net");
  EXPECT_EQ(UrlHost(L"https://%6Dirror.example.net/x"), L"mirror.example.net");
  EXPECT_EQ(UrlHost(L""), L"");
  EXPECT_EQ(UrlHost(L"file:///C:/setup.arc"), L"");
  EXPECT_EQ(UrlHost(L"not a url"), L"");
}

TEST(UrlPartsTest, EscapesASegment) {
  EXPECT_EQ(EscapeUrlSegment(L""), L"");
  std::wstring escaped = EscapeUrlSegment(L"a b/c?d#e");
  EXPECT_EQ(escaped.find_first_of(L" /?#"), std::wstring::npos) << escaped;
}

TEST(DownloadEventsTest, FailedAttemptSendsErrorThenAttempt) {
  Recorder recorder;
  std::atomic<int> cancel{0};
  DownloadAttempt attempt;
  attempt.url = L"https://cdn/x.arc";
  attempt.attempt_number = 3;
  attempt.downloaded_size = 4294967295u;
  attempt.total_size = 7;
  attempt.error = L"internet_read-12002";
  attempt.final_url = L"https://";  // No host: no redirect key.
  ReportDownloadAttempt(&recorder, cancel, attempt);
  ASSERT_EQ(recorder.events.size(), 2u);
  EXPECT_EQ(recorder.events[0],
            (InstallEvent{{"action", L"download"},
                          {"stage", L"error"},
                          {"error", L"attempt-3-internet_read-12002"}}));
  const InstallEvent& event = recorder.events[1];
  EXPECT_EQ(event.at("status"), L"failed");
  EXPECT_EQ(event.at("downloaded_size"), L"4294967295");
  EXPECT_EQ(event.at("total_size"), L"7");
  EXPECT_EQ(event.count("redirect"), 0u);
  EXPECT_EQ(event.count("x64"), 0u);

  cancel = 1;
  ReportDownloadAttempt(&recorder, cancel, attempt);
  EXPECT_EQ(recorder.events.size(), 2u);
}

TEST(DownloadEventsTest, FinishedCarriesWholeSecondsOnlyWhenDownloaded) {
  Recorder recorder;
  ReportDownloadFinished(&recorder, 2999999);
  ReportDownloadFinished(&recorder, -1);
  EXPECT_EQ(recorder.events[0].at("download_time"), L"2");
  EXPECT_EQ(recorder.events[1].count("download_time"), 0u);
  ReportDownloadStarted(nullptr);  // No reporter: nothing to do, nothing to crash.
}

}  // namespace
}  // namespace stats
