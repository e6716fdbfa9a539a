#include "stats/setup_events.h"

#include <gtest/gtest.h>

#include <vector>

#include "stats/dialog_events.h"
#include "stats/stat_reporter.h"

namespace stats {
namespace {

class Recorder : public StatReporter {
 public:
  void SendEvent(const InstallEvent& event) override { events.push_back(event); }
  void SendDialogEvent(const InstallEvent& event) override { dialog_events.push_back(event); }
  std::wstring GetOldVersion() override { return old_version; }

  std::wstring old_version;
  std::vector<InstallEvent> events;
  std::vector<InstallEvent> dialog_events;
};

TEST(SetupEventsTest, InstallerStartedReportsScaleAndScreen) {
  Recorder recorder;
  for (double dpi : {96.0, 120.0, 144.0})
    ReportInstallerStarted(&recorder, DisplayFacts{dpi / 96.0, 1920, 1080});
  ASSERT_EQ(recorder.events.size(), 3u);
  EXPECT_EQ(recorder.events[0], (InstallEvent{{"action", L"installer_started"},
                                              {"dpi", L"100"},
                                              {"resolution", L"1920x1080"}}));
  EXPECT_EQ(recorder.events[1].at("dpi"), L"125");
  EXPECT_EQ(recorder.events[2].at("dpi"), L"150");
}

TEST(SetupEventsTest, SetupExitedErrorFollowsHowSetupRan) {
  struct Case {
    bool elevated;
    int code;
    bool started;
    const wchar_t* error;  // Null: no error key.
  } cases[] = {
      {false, 0, true, L"0"},     {false, 1, true, nullptr}, {false, 3, true, nullptr},
      {false, 5, true, nullptr},  {false, 4, true, L"4"},    {false, 400, true, L"400"},
      {true, 400, true, nullptr}, {true, 3, true, L"3"},     {false, 3, false, L"FailedToStart"},
      {true, 400, false, L"FailedToStart"},
  };
  for (const Case& c : cases) {
    Recorder recorder;
    ReportSetupExited(&recorder, c.elevated, c.code, 2999999, c.started);
    ASSERT_EQ(recorder.events.size(), 1u);
    const InstallEvent& event = recorder.events[0];
    SCOPED_TRACE(testing::Message() << "elevated " << c.elevated << " code " << c.code);
    EXPECT_EQ(event.at("stage"), L"setup_exe_exited");
    EXPECT_EQ(event.at("setup_time"), L"2");
    if (c.error) {
      EXPECT_EQ(event.at("error"), c.error);
    } else {
      EXPECT_EQ(event.count("error"), 0u);
    }
  }
}

TEST(SetupEventsTest, UpdateWhenABrowserWasInstalledBefore) {
  Recorder recorder;
  ReportSetupLaunched(&recorder, /*elevated=*/true, /*admin_prompts_disabled=*/false);
  recorder.old_version = L"20.1.0.5";
  ReportSetupLaunched(&recorder, /*elevated=*/false, /*admin_prompts_disabled=*/false);
  ReportSetupExited(&recorder, false, 3, 0, true);
  ASSERT_EQ(recorder.events.size(), 3u);
  EXPECT_EQ(recorder.events[0], (InstallEvent{{"action", L"setup"},
                                              {"stage", L"setup_exe_launched"},
                                              {"uac", L"1"}}));
  EXPECT_EQ(recorder.events[1].at("action"), L"update");
  EXPECT_EQ(recorder.events[1].at("uac"), L"0");
  EXPECT_EQ(recorder.events[2].at("action"), L"update");
}

TEST(SetupEventsTest, UacIs100WheneverAdminsAreNotPrompted) {
  Recorder recorder;
  ReportSetupLaunched(&recorder, true, /*admin_prompts_disabled=*/true);
  ReportSetupLaunched(&recorder, false, /*admin_prompts_disabled=*/true);
  EXPECT_EQ(recorder.events[0].at("uac"), L"100");
  EXPECT_EQ(recorder.events[1].at("uac"), L"100");
}

TEST(DialogEventsTest, ClicksCarryTheirKeyAndTheDialogName) {
  Recorder recorder;
  ReportButtonClicked(&recorder, L"cancel");
  ReportLinkClicked(&recorder, L"");
  ReportCheckboxChosen(&recorder, L"sendstat");
  ASSERT_EQ(recorder.dialog_events.size(), 3u);
  EXPECT_EQ(recorder.dialog_events[0],
            (InstallEvent{{"clicked_button", L"cancel"}, {"dialog_window", L"liteinstall"}}));
  EXPECT_EQ(recorder.dialog_events[1],
            (InstallEvent{{"clicked_link", L""}, {"dialog_window", L"liteinstall"}}));
  EXPECT_EQ(recorder.dialog_events[2].at("choosen_checkbox"), L"sendstat");
  EXPECT_TRUE(recorder.events.empty());
  ReportCheckboxChosen(nullptr, L"default");
}

}  // namespace
}  // namespace stats
