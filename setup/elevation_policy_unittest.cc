#include "setup/elevation_policy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/file_util.h"
#include "base/string_conv.h"
#include "base/task_thread.h"
#include "base/waitable_event.h"
#include "base/log_capture_for_testing.h"
#include "setup/setup_command_line.h"

namespace setup {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using base::CommandLine;

TEST(ElevationPointTest, FollowsTheDistributionParameters) {
  struct Case {
    const wchar_t* command_line;
    std::map<std::string, std::string> params;
    int expected;
  } cases[] = {
      {L"x.exe", {}, 0},
      {L"x.exe", {{"uac", "1"}}, 1},
      {L"x.exe", {{"uac", "2"}}, 2},
      // Installations for all users elevate at the start, whatever "uac" says.
      {L"x.exe --system-level", {{"uac", "2"}}, 0},
      {L"x.exe /program-files-installation", {{"uac", "1"}}, 0},
      // Other numbers and no numbers at all.
      {L"x.exe", {{"uac", "3"}}, 0},
      {L"x.exe", {{"uac", "1x"}}, 0},
      {L"x.exe", {{"uac", ""}}, 0},
      // "uac"=0 elevates at once for a first run with the choices made.
      {L"x.exe", {{"uac", "0"}}, 0},
      {L"x.exe", {{"uac", "0"}, {"first", "1"}, {"def", "2"}, {"stat", "1"}}, 1},
      {L"x.exe", {{"uac", "0"}, {"first", "1"}, {"def", "1"}, {"statpromo", ""}}, 1},
      {L"x.exe", {{"uac", "0"}, {"first", "2"}, {"def", "1"}, {"stat", "1"}}, 0},
      {L"x.exe", {{"uac", "0"}, {"first", "1"}, {"def", "0"}, {"stat", "1"}}, 0},
      {L"x.exe", {{"uac", "0"}, {"first", "1"}, {"stat", "1"}}, 0},
      {L"x.exe", {{"uac", "0"}, {"first", "1"}, {"def", "1"}, {"stat", "yes"}}, 0},
  };
  for (const Case& c : cases) {
    auto read = [&c](const std::string& key, std::string* value) {
      auto it = c.params.find(key);
      return it != c.params.end() && (*value = it->second, true);
    };
    EXPECT_EQ(ElevationPoint(read, CommandLine::FromString(c.command_line)), c.expected)
        << testing::PrintToString(c.params) << " " << testing::PrintToString(c.command_line);
  }
}

struct FakeElevationFacts : ElevationFacts {
  bool IsUserInAdminGroup() override { return admin; }
  base::OsVersion Version() override { return version; }
  bool IsElevated() override { return elevated; }
  bool admin = true;
  base::OsVersion version{10, 0, 19045, 0};
  bool elevated = false;
};

TEST(NeedStartThisProcessAsAdminTest, TheFirstFailingCheckDecidesAndIsLogged) {
  struct Case {
    bool admin;
    uint32_t major;
    bool elevated;
    const wchar_t* command_line;
    const char* reason;  // Null: a restart is needed.
  } cases[] = {
      {false, 5, false, L"x.exe --patch --run-as-admin", "User is not in admin group."},
      {true, 5, false, L"x.exe --patch", "Windows version is not suitable for elevated restart."},
      // The list's order, not the names' order, picks the switch named.
      {true, 6, false, L"x.exe --show-eula --patch --run-as-admin",
       "Found non install-switch:show-eula"},
      {true, 6, false, L"x.exe --run-as-admin --silent",
       "Run-as-admin functionality is already enabled."},
      {true, 10, false, L"x.exe --silent",
       "Elevated run is necessary but silent instalation is requested - UAC will not be "
       "shown."},
      {true, 10, true, L"x.exe --silent", nullptr},
      {true, 10, false, L"x.exe --semi-silent", nullptr},
      {true, 6, false, L"x.exe --brand-name=x", nullptr},
  };
  for (const Case& c : cases) {
    base::ScopedLogCapture log;
    FakeElevationFacts facts;
    facts.admin = c.admin;
    facts.version.major = c.major;
    facts.elevated = c.elevated;
    EXPECT_EQ(NeedStartThisProcessAsAdmin(CommandLine::FromString(c.command_line), &facts),
              c.reason == nullptr)
        << testing::PrintToString(c.command_line);
    if (c.reason) {
      ASSERT_THAT(log.messages(), ElementsAre(c.reason));
      EXPECT_STREQ(log.records()[0].function, "NeedStartThisProcessAsAdmin");
    } else {
      EXPECT_THAT(log.messages(), IsEmpty());
    }
  }
}

TEST(IsUserAnAdminGroupTest, ReadsTheTokenAndLogsAFailureToOpenIt) {
  base::ScopedLogCapture log;
  // Wine runs every user as an administrator.
  EXPECT_TRUE(IsUserAnAdminGroup(::GetCurrentProcess()));
  EXPECT_THAT(log.messages(), IsEmpty());
  EXPECT_FALSE(IsUserAnAdminGroup(nullptr));
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_STREQ(log.records()[0].function, "GetProcessToken");
  EXPECT_THAT(log.messages()[0], ::testing::StartsWith("OpenProcessToken fail - "));
}

TEST(AreUACNotificationsEnabledTest, ReadsAndLogsThePolicyValue) {
  const wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  base::ScopedRegKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  base::ScopedLogCapture log;
  for (DWORD value : {5, 0}) {
    ::RegSetValueExW(key.get(), L"ConsentPromptBehaviorAdmin", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&value), sizeof(value));
    EXPECT_EQ(AreUACNotificationsEnabled(), value != 0);
  }
  // Wine's own prefix has no such value; none is left behind.
  ::RegDeleteValueW(key.get(), L"ConsentPromptBehaviorAdmin");
  EXPECT_FALSE(AreUACNotificationsEnabled());
  const std::string read = "Read HKEY_LOCAL_MACHINE\\" + base::WideToUtf8(kKey) +
                           "\\ConsentPromptBehaviorAdmin which is ";
  EXPECT_THAT(log.messages(), ElementsAre(read + "\"5\"", read + "\"0\"", read + "\"0\""));
}

// What the shell was asked, and whether the prompt's owner window showed.
struct ShellRequest {
  std::wstring verb, file, parameters;
  ULONG mask = 0;
  int show = 0;
  HWND window = nullptr;
  bool window_visible = false;
};

ShellExecuteFunction FailingShell(ShellRequest* request, INT_PTR shell_error) {
  return [request, shell_error](SHELLEXECUTEINFOW* info) {
    *request = {info->lpVerb, info->lpFile, info->lpParameters, info->fMask, info->nShow,
                info->hwnd, info->hwnd && ::IsWindowVisible(info->hwnd)};
    info->hInstApp = reinterpret_cast<HINSTANCE>(shell_error);
    return false;
  };
}

SetupTemplateBuilder TemplateFrom(const CommandLine& own) {
  return [own](const std::wstring& archive_path) {
    SetupCommandLineOptions options;
    options.archive_path = archive_path;
    options.direct_run = false;
    return BuildSetupCommandLine(own, options);
  };
}

TEST(RestartAsAdminTest, OnlyARefusedPromptIsDeclinedAndNothingIsLeftBehind) {
  CommandLine own = CommandLine::FromString(
      LR"("C:\Users\A B\Downloads\lite_installer.exe" --brand-name=tarnix --x="a \"b\"")");
  base::ScopedLogCapture log;
  ShellRequest request;
  for (INT_PTR error : {INT_PTR{SE_ERR_FNF}, INT_PTR{SE_ERR_ACCESSDENIED}}) {
    RestartAsAdminResult result =
        RestartAsAdmin(own, TemplateFrom(own), FailingShell(&request, error));
    EXPECT_EQ(result.declined, error == SE_ERR_ACCESSDENIED);
    EXPECT_EQ(result.process, nullptr);
    EXPECT_FALSE(::IsWindow(request.window));
  }
  EXPECT_EQ(request.verb, L"runas");
  EXPECT_EQ(request.mask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS));
  EXPECT_EQ(request.show, SW_SHOW);
  // The file is this executable, not the command line's first word.
  EXPECT_EQ(request.file, base::GetExecutablePath());
  // The parameters are the rest of the command line and read back whole.
  CommandLine child = CommandLine::FromString(L"child.exe " + request.parameters);
  EXPECT_TRUE(child.HasSwitch("run-as-admin"));
  EXPECT_EQ(child.GetSwitchValue("parent-installer-process-id"),
            std::to_wstring(::GetCurrentProcessId()));
  EXPECT_EQ(child.GetSwitchValue("x"), L"a \"b\"");
  CommandLine setup = CommandLine::FromString(child.GetSwitchValue("setup-cmd-line"));
  EXPECT_EQ(setup.program(), L"fake_browser_arc");
  EXPECT_EQ(setup.GetSwitchValue("x"), L"a \"b\"");
  // The elevated child adds `source` itself when it runs the setup.
  EXPECT_FALSE(setup.HasSwitch("source"));
  EXPECT_FALSE(setup.HasSwitch("run-as-admin"));

  // Wine makes top-level windows only with a display (ctest runs under Xvfb).
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
  if (!probe)
    GTEST_SKIP() << "no display: the prompt went without an owner window";
  ::DestroyWindow(probe);
  EXPECT_TRUE(request.window_visible);
}

TEST(ElevationPolicyChild, ExitsAtOnce) {
  if (!CommandLine::ForCurrentProcess().HasSwitch("run-as-admin"))
    GTEST_SKIP() << "runs only as the child of RestartAsAdminTest";
}

TEST(RestartAsAdminTest, TheStartedChildIsHandedOver) {
  // Wine's "runas" starts the program without a prompt.
  CommandLine own(base::GetExecutablePath());
  own.SetSwitch("gtest_filter", L"ElevationPolicyChild.ExitsAtOnce");
  RestartAsAdminResult result = RestartAsAdmin(own, TemplateFrom(own));
  ASSERT_NE(result.process, nullptr);
  EXPECT_FALSE(result.declined);
  base::ManualResetEvent stop;
  EXPECT_TRUE(result.process->RunModule(stop.handle()));
  EXPECT_EQ(result.process->exit_code(), 0u);
}

TEST(ElevatedInstallerProcessWindowTest, AnotherThreadLeavesTheDestructionToTheOwner) {
  HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
  ASSERT_TRUE(window);
  auto process = std::make_unique<ElevatedInstallerProcess>();
  process->SetProcessAndWindow(base::ScopedHandle(), window);
  base::TaskThread installation_thread;
  ASSERT_TRUE(installation_thread.Start());
  base::ManualResetEvent done;
  installation_thread.PostTask([&] {
    process.reset();
    done.Signal();
  });
  done.Wait();
  installation_thread.Stop();
  EXPECT_TRUE(::IsWindow(window));
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    ::DispatchMessageW(&message);
  EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
}  // namespace setup
