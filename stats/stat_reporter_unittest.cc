#include "stats/stat_reporter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/waitable_event.h"
#include "stats/dialog_events.h"
#include "stats/fake_stat_sender_system_for_testing.h"
#include "stats/install_stat_sender.h"

namespace stats {
namespace {

using ::testing::HasSubstr;

class StatReporterTest : public ::testing::Test {
 protected:
  StatReporterEnvironment Environment() {
    StatReporterEnvironment environment;
    environment.host = L"stats.test";
    system_.probe_events = false;  // "launched" is always "false" here.
    environment.system = &system_;
    environment.send = [this](const std::wstring& url) {
      ::AcquireSRWLockExclusive(&lock_);
      sent_.push_back(url);
      ::ReleaseSRWLockExclusive(&lock_);
      sent_event_.Signal();
    };
    return environment;
  }

  // The URLs sent once there are `count` of them, or after 10 s.
  std::vector<std::wstring> WaitForSent(size_t count) {
    std::vector<std::wstring> sent;
    for (int i = 0; i < 100; ++i) {
      ::AcquireSRWLockExclusive(&lock_);
      sent = sent_;
      ::ReleaseSRWLockExclusive(&lock_);
      if (sent.size() >= count)
        break;
      sent_event_.TimedWait(100);
    }
    return sent;
  }

  FakeStatSenderSystem system_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<std::wstring> sent_;
  base::AutoResetEvent sent_event_;
};

TEST_F(StatReporterTest, ProgressAndDialogEventsGoToTheirCounters) {
  StatReporter reporter(L"", L"{U}", Environment());
  reporter.SendEvent({{"action", L"installer_started"}});
  ReportButtonClicked(&reporter, L"install");
  ReportInstallButtonClicked(&reporter);
  std::vector<std::wstring> sent = WaitForSent(3);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_THAT(sent[0], ::testing::StartsWith(
                           L"https://stats.test/installstats/send/dtype=stred/pid=457"
                           L"/cid=72992/path=extended_stat/vars=-action=installer_started,"));
  EXPECT_THAT(sent[1], ::testing::StartsWith(
                           L"https://stats.test/installstats/send/dtype=stred/pid=457"
                           L"/cid=72696/path=tnbrowser_reinstall_dialog/vars=-brand_id=unknown,"
                           L"-clicked_button=install,-dialog_window=liteinstall,"));
  EXPECT_THAT(sent[2], HasSubstr(L"/cid=72992/path=extended_stat/vars="
                                 L"-action=install_browser_button_clicked,"));
}

TEST_F(StatReporterTest, ParametersAreHandedOnUntilTheReporterGoes) {
  {
    StatReporter reporter(L"brand_id\ntarnix\nold_ver\n20.0.0.1\n", L"u", Environment());
    EXPECT_EQ(reporter.GetOldVersion(), L"20.0.0.1");
    reporter.SetParam("new_ver", L"21.0.0.1");
    reporter.SaveParams();
    InstallEvent saved = ParseSavedParams(system_.values.at(L"install_stat"));
    EXPECT_EQ(saved.at("brand_id"), L"tarnix");
    EXPECT_EQ(saved.at("new_ver"), L"21.0.0.1");
    reporter.SendEvent({});
    std::vector<std::wstring> sent = WaitForSent(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_THAT(sent[0], HasSubstr(L",-new_ver=21.0.0.1,"));
  }
  EXPECT_EQ(system_.values.count(L"install_stat"), 0u);
}

}  // namespace
}  // namespace stats
