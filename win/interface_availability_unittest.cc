#include "win/interface_availability.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fake_clock_for_testing.h"
#include "base/fake_os_facts_for_testing.h"
#include "base/log_capture_for_testing.h"
#include "base/waitable_event.h"

namespace win {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

TEST(AvailabilityValueTest, OutcomeBuildAndRevisionStayWithin32Bits) {
  EXPECT_EQ(AvailabilityValue(ProbeOutcome::kAvailable, {10, 0, 19041, 1}), 190410001u);
  EXPECT_EQ(AvailabilityValue(ProbeOutcome::kUnavailable, {10, 0, 17134, 318}), 2171340318u);
  EXPECT_EQ(AvailabilityValue(ProbeOutcome::kTimedOut, {10, 0, 17134, 1}), 3171340001u);
  // The largest terms that still count make the largest 32-bit number.
  EXPECT_EQ(AvailabilityValue(ProbeOutcome::kNotRun, {10, 0, 29496, 7295}), 4294967295u);
  EXPECT_EQ(AvailabilityValue(ProbeOutcome::kCrashed, {10, 0, 29497, 7296}), 1000000000u);
}

// A child process played by an event: signalled means it has ended.
class FakeLauncher : public ProbeProcessLauncher {
 public:
  bool FileExists(const std::wstring& path) override { return path == existing; }
  base::ScopedHandle Launch(const std::wstring& command_line) override {
    launched.push_back(command_line);
    if (!starts) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return base::ScopedHandle();
    }
    if (ends)
      process.Signal();
    HANDLE copy = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), process.handle(), ::GetCurrentProcess(), &copy, 0,
                      FALSE, DUPLICATE_SAME_ACCESS);
    return base::ScopedHandle(copy);
  }
  bool Terminate(HANDLE, UINT code) override {
    terminated.push_back(code);
    return true;
  }
  bool ExitCode(HANDLE, DWORD* code) override {
    *code = exit_code;
    return true;
  }

  std::wstring existing = L"C:\\dir\\lite_installer.exe";
  bool starts = true;
  bool ends = true;
  DWORD exit_code = 700;
  std::vector<std::wstring> launched;
  std::vector<UINT> terminated;
  base::ManualResetEvent process;
};

class InterfaceAvailabilityCheckTest : public ::testing::Test {
 protected:
  bool Run(base::OsVersion version, uint32_t* value) {
    facts_.version = version;
    InterfaceAvailabilityCheck check(L"C:\\dir\\lite_installer.exe", &facts_, &clock_,
                                     &launcher_);
    return check.Run(value);
  }
  std::vector<std::string> Messages() { return log_.messages(); }

  base::FakeOsFacts facts_;
  base::FakeClock clock_;
  FakeLauncher launcher_;
  base::ScopedLogCapture log_;
};

TEST_F(InterfaceAvailabilityCheckTest, OlderSystemsAnswerFalseAndKeepTheValue) {
  uint32_t value = 12345;
  EXPECT_FALSE(Run({6, 1, 7601, 0}, &value));
  EXPECT_FALSE(Run({6, 3, 9600, 0}, &value));
  EXPECT_EQ(value, 12345u);
  EXPECT_THAT(launcher_.launched, IsEmpty());
}

TEST_F(InterfaceAvailabilityCheckTest, OnlyReleasesThatMayLackTheInterfaceStartAChild) {
  struct Case {
    base::OsVersion version;
    bool probes;
  } cases[] = {{{10, 0, 19041, 1}, false},  {{10, 0, 17134, 319}, false},
               {{10, 0, 17704, 0}, false},  {{10, 0, 17134, 318}, true},
               {{10, 0, 17703, 9999}, true}, {{10, 0, 10240, 0}, true}};
  for (const Case& c : cases) {
    launcher_.launched.clear();
    uint32_t value = 0;
    EXPECT_TRUE(Run(c.version, &value)) << c.version.build;
    EXPECT_EQ(launcher_.launched.size(), c.probes ? 1u : 0u) << c.version.build;
    EXPECT_EQ(value, AvailabilityValue(ProbeOutcome::kAvailable, c.version));
  }
  EXPECT_THAT(launcher_.launched,
              ElementsAre(L"\"C:\\dir\\lite_installer.exe\" --check-the-interface"));
}

TEST_F(InterfaceAvailabilityCheckTest, TheChildsExitCodeDecidesTheOutcome) {
  struct Case {
    DWORD exit_code;
    bool answer;
    uint32_t value;
    const char* message;
  } cases[] = {
      {700, true, 171340001,
       "Successfuly checked Win10 internal interface availability: availability: 1"},
      {701, false, 2171340001,
       "Successfuly checked Win10 internal interface availability: availability: 0"},
      {0xC0000005, false, 1171340001,
       "Failed to check Win10 internal interface availability, ret code: -1073741819, "
       "installer crashed"},
      {0, false, 4171340001,
       "Failed to check Win10 internal interface availability, unknown ret code: 0"},
  };
  for (const Case& c : cases) {
    log_.Clear();
    clock_.waits.clear();
    launcher_.exit_code = c.exit_code;
    uint32_t value = 0;
    EXPECT_EQ(Run({10, 0, 17134, 1}, &value), c.answer) << c.exit_code;
    EXPECT_EQ(value, c.value) << c.exit_code;
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_THAT(Messages()[0], StartsWith(c.message));
    EXPECT_EQ(log_.records()[0].severity,
              c.exit_code == 700 || c.exit_code == 701 ? base::Severity::kInfo
                                                       : base::Severity::kWarning);
    EXPECT_THAT(clock_.waits, ElementsAre(kProbeTimeoutMs));
  }
  EXPECT_THAT(launcher_.terminated, IsEmpty());
}

TEST_F(InterfaceAvailabilityCheckTest, AHungChildIsEndedAfterThreeSeconds) {
  launcher_.ends = false;
  uint32_t value = 0;
  EXPECT_FALSE(Run({10, 0, 17134, 318}, &value));
  EXPECT_EQ(value, 3171340318u);
  EXPECT_THAT(clock_.waits, ElementsAre(3000u));
  EXPECT_THAT(launcher_.terminated, ElementsAre(22u));
  EXPECT_THAT(Messages(), ElementsAre(StartsWith(
      "Failed to check Win10 internal interface availability,  installer was terminated "
      "by timeout. - ")));
}

TEST_F(InterfaceAvailabilityCheckTest, AChildThatCannotRunCountsAsOutcomeFour) {
  uint32_t value = 0;
  launcher_.existing = L"C:\\elsewhere.exe";
  EXPECT_FALSE(Run({10, 0, 16299, 15}, &value));
  EXPECT_EQ(value, 4162990015u);
  EXPECT_THAT(launcher_.launched, IsEmpty());

  launcher_.existing = L"C:\\dir\\lite_installer.exe";
  launcher_.starts = false;
  EXPECT_FALSE(Run({10, 0, 16299, 15}, &value));
  EXPECT_EQ(value, 4162990015u);
  EXPECT_THAT(clock_.waits, IsEmpty());
  EXPECT_THAT(Messages(),
              ElementsAre(StartsWith("Failed to check Win10 internal interface availability: "
                                     "can't get installer exe path. - "),
                          StartsWith("Failed to check Win10 internal interface availability: "
                                     "can't run installer: \"C:\\dir\\lite_installer.exe\" "
                                     "--check-the-interface - 5, ")));
}

}  // namespace
}  // namespace win
