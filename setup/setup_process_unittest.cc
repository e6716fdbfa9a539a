#include "setup/setup_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/log_capture_for_testing.h"
#include "setup/install_observer.h"

namespace setup {
namespace {

using ::testing::HasSubstr;

class RecordingObserver : public InstallObserver {
 public:
  void SetDownloadFraction(float) override {}
  void OnSlowDownload() override {}
  void SetRemainingTime(int32_t, int32_t) override {}
  void Finish(int) override {}
  void OnError(int) override {}
  HWND GetWindowHandle() override { return nullptr; }
  void SetProgressPercent(int percent) override { calls.push_back("progress " + std::to_string(percent)); }
  void OnSetupStarted() override { calls.push_back("setup started"); }
  std::vector<std::string> calls;
};

TEST(RunModuleAndWaitTest, ReadsTheExitCodeAndDescribesIt) {
  base::ScopedLogCapture log;
  RecordingObserver observer;
  int exit_code = 0;
  // cmd.exe is part of every Wine prefix and of every Windows.
  ASSERT_TRUE(RunModuleAndWait(nullptr, L"cmd.exe /c exit 1811939333", &exit_code, &observer));
  EXPECT_EQ(exit_code, 1811939333);  // 108 << 24 | 5
  EXPECT_EQ(observer.calls, (std::vector<std::string>{"progress 40", "setup started"}));
  EXPECT_EQ(log.messages().front(), "Run: cmd.exe /c exit 1811939333");
  EXPECT_EQ(log.messages().back(),
            "Setup process exit with code: PATH_STRING_OVERFLOW(108); error: 5");
}

TEST(RunModuleAndWaitTest, ProgramThatCannotStartLeaves400) {
  base::ScopedLogCapture log;
  int exit_code = 0;
  EXPECT_FALSE(RunModuleAndWait(nullptr, L"C:\\no\\such\\setup.arc --x", &exit_code, nullptr));
  EXPECT_EQ(exit_code, 400);
  EXPECT_THAT(log.messages().back(), HasSubstr("Create process failed. - 2, "));
}

}  // namespace
}  // namespace setup
