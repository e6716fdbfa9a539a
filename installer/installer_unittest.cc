#include "installer/installer.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/fake_clock_for_testing.h"
#include "base/fake_os_facts_for_testing.h"
#include "base/file_util.h"
#include "base/process.h"
#include "base/log_capture_for_testing.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "base/registry_store.h"
#include "base/command_line.h"
#include "setup/exit_code.h"
#include "setup/install_observer.h"
#include "setup/delayed_params.h"
#include "setup/elevated_installer_process.h"
#include "stats/stat_reporter.h"
#include "build_config.h"

namespace installer {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class RecordingObserver : public setup::InstallObserver {
 public:
  void SetDownloadFraction(float) override {}
  void OnSlowDownload() override {}
  void SetRemainingTime(int32_t, int32_t) override {}
  void Finish(int result) override {
    calls.push_back("finish " + std::to_string(result));
    finished.Signal();
  }
  void OnError(int code) override { calls.push_back("error " + std::to_string(code)); }
  HWND GetWindowHandle() override { return reinterpret_cast<HWND>(0x4242); }
  void SetProgressPercent(int percent) override {
    calls.push_back("progress " + std::to_string(percent));
  }
  void OnSetupStarted() override {}
  std::vector<std::string> calls;
  base::ManualResetEvent finished;
};

class RecordingReporter : public stats::StatReporter {
 public:
  void SendEvent(const stats::InstallEvent& event) override {
    events.push_back(event);
    auto stage = event.find("stage");
    actions.push_back(event.at("action") + (stage == event.end() ? L"" : L"/" + stage->second));
  }
  void SetParam(const std::string& key, const std::wstring& value) override {
    params[key] = value;
  }
  void SaveParams() override { actions.push_back(L"(saved)"); }
  bool Flush(DWORD) override {
    actions.push_back(L"(flushed)");
    return true;
  }
  // The setup-exited event's error, "-" when it has none.
  std::wstring SetupExitedError() const {
    for (const stats::InstallEvent& event : events) {
      auto stage = event.find("stage");
      if (stage != event.end() && stage->second == L"setup_exe_exited")
        return event.count("error") ? event.at("error") : L"-";
    }
    return L"(no event)";
  }
  std::vector<std::wstring> actions;
  std::vector<stats::InstallEvent> events;
  std::map<std::string, std::wstring> params;
};

// An installation whose download, verification and setup are scripted.
class ScriptedInstaller : public Installer {
 public:
  using Installer::Installer;

  int download_result = 0;
  bool verify_result = true;
  bool setup_result = true;
  bool setup_started = true;
  int setup_exit_code = 0;
  int browser_checks_until_gone = 0;
  bool expect_holder = false;
  std::function<void()> during_download;
  std::vector<std::wstring> setup_command_lines;
  bool verified_while_locked = false;

  int GetModule(const std::wstring& path, base::ScopedHandle* holder) override {
    EXPECT_EQ(holder != nullptr, expect_holder);
    base::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), "MZ", 2, &written, nullptr);
    if (holder)
      *holder = std::move(file);
    if (during_download)
      during_download();
    if (download_result)
      set_exit_code(setup::ToInt(setup::ExitCode::MODULE_NOT_DOWNLOADED));
    return download_result;
  }
  bool VerifyArchive(const std::wstring& path) override {
    // The archive is locked by now: nothing may open it for writing.
    base::ScopedHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    verified_while_locked = !writer.is_valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
    return verify_result;
  }
  bool RunModule(const std::wstring& archive, const base::CommandLine& command_line) override {
    for (const wchar_t* name : {L"InstallerData", L"ClidsFile", L"ClidsSearchbandFile",
                                L"TarnixWebsiteIconFile", L"brand", L"BrandFile", L"lang"})
      registry_at_setup[name] = base::ReadValue(name);
    setup_command_lines.push_back(command_line.Format());
    set_setup_process_created(setup_started);
    if (setup_started && setup_result)
      set_exit_code(setup_exit_code);
    return setup_result;
  }
  bool IsBrowserRunning() override { return browser_checks_until_gone-- > 0; }
  bool Download(const std::wstring& url, download::DownloadSink* sink, std::wstring* error,
                std::wstring* redirect_url) override {
    report_urls.push_back(url);
    if (!report_result)
      *error = L"internet_open_url-12029";
    reported.Signal();  // The run's last step.
    return report_result;
  }
  void RunInstall() { Install(); }

  std::map<std::wstring, std::wstring> registry_at_setup;
  std::vector<std::wstring> report_urls;
  bool report_result = true;
  base::ManualResetEvent reported;
};

class FakeElevatedProcess : public setup::ElevatedInstallerProcess {
 public:
  explicit FakeElevatedProcess(bool* released, const Installer* installer = nullptr,
                               bool* locked_at_end = nullptr)
      : released_(released), installer_(installer), locked_at_end_(locked_at_end) {}
  ~FakeElevatedProcess() override {
    // The child may still be running the archive while it is ended.
    if (locked_at_end_) {
      base::ScopedHandle writer(::CreateFileW(installer_->archive_path().c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
      *locked_at_end_ = !writer.is_valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
  }
  bool RunModule(HANDLE) override {
    *released_ = true;
    return result;
  }

  bool result = true;

 private:
  bool* released_;
  const Installer* installer_;
  bool* locked_at_end_;
};

class InstallerRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::CreateTemporaryDirectory(L"run");
    ASSERT_FALSE(dir_.empty());
    brand_.brand_name = "tarnix";
    facts_.arch = base::Architecture::kX86;
  }
  void TearDown() override { ::RemoveDirectoryW(dir_.c_str()); }

  std::unique_ptr<ScriptedInstaller> Make(const wchar_t* command_line = L"x.exe",
                                          setup::InstallObserver* observer = nullptr) {
    command_line_ = base::CommandLine::FromString(command_line);
    InstallerEnvironment environment{&clock_, &facts_, nullptr, &reporter_};
    auto installer = std::make_unique<ScriptedInstaller>(observer, &brand_, &params_,
                                                         command_line_, environment);
    installer->set_temp_dir(dir_);
    return installer;
  }

  bool ArchiveLeft() { return base::DirectoryHasMatch(dir_, L"tx*.tmp"); }

  base::FakeClock clock_;
  base::FakeOsFacts facts_;
  RecordingReporter reporter_;
  distribution::BrandInfo brand_;
  distribution::DistribInfoParams params_;
  base::CommandLine command_line_;
  std::wstring dir_;
  base::ScopedLogCapture log_;
};

TEST_F(InstallerRunTest, SilentRunVerifiesLockedArchiveAndRunsTheSetup) {
  auto installer = Make(L"x.exe --silent --make-browser-default-after-import");
  installer->setup_exit_code = 3;
  installer->RunSync();
  EXPECT_EQ(installer->exit_code(), 3);
  EXPECT_TRUE(installer->verified_while_locked);
  ASSERT_EQ(installer->setup_command_lines.size(), 1u);
  base::CommandLine setup = base::CommandLine::FromString(installer->setup_command_lines[0]);
  EXPECT_EQ(setup.program(), installer->archive_path());
  EXPECT_EQ(setup.GetSwitchValue("brand-name"), L"tarnix");
  EXPECT_EQ(setup.GetSwitchValue("progress-window"), L"0");
  EXPECT_TRUE(setup.HasSwitch("verbose-logging"));
  EXPECT_FALSE(setup.HasSwitch("make-browser-default-after-import"));  // Not set on the installer.
  EXPECT_EQ(setup.GetSwitchValue("install-start-time-no-uac"),
            std::to_wstring(clock_.now_us));
  EXPECT_FALSE(ArchiveLeft());
  EXPECT_EQ(installer->run_id().size(), 36u);
  EXPECT_THAT(reporter_.actions,
              ElementsAre(L"installer_started", L"(saved)", L"setup/setup_exe_launched",
                          L"setup/setup_exe_exited", L"(flushed)"));
}

TEST_F(InstallerRunTest, AnElevatedProcessRunsACopyFromAPrivateFolder) {
  facts_.elevated = true;
  auto installer = Make(L"x.exe --silent");
  installer->RunSync();
  EXPECT_EQ(installer->exit_code(), 0);
  base::CommandLine setup = base::CommandLine::FromString(installer->setup_command_lines.at(0));
  const std::wstring folder = base::DirName(setup.program());
  EXPECT_EQ(base::DirName(folder), base::SystemTempDirectory());
  EXPECT_EQ(base::BaseName(setup.program()), base::BaseName(installer->archive_path()));
  EXPECT_FALSE(base::PathExists(folder));  // Gone with the run.
  EXPECT_FALSE(ArchiveLeft());
}

// Releases that surely have the default-browser interface need no probe;
// the setup still learns the system's value, and nothing before Windows 10.
TEST_F(InstallerRunTest, TheInterfaceCheckReachesTheSetupFromWindows10On) {
  struct Case {
    base::OsVersion version;
    bool available;
    const wchar_t* value;  // Null: no switch.
  } cases[] = {{{10, 0, 19041, 1}, true, L"190410001"},
               {{6, 1, 7601, 0}, true, nullptr},
               {{6, 3, 9600, 0}, false, nullptr}};
  for (const Case& c : cases) {
    facts_.version = c.version;
    auto installer = Make();
    installer->RunSync();
    EXPECT_EQ(installer->CheckInterfaceAvailability(), c.available) << c.version.build;
    base::CommandLine setup =
        base::CommandLine::FromString(installer->setup_command_lines.at(0));
    EXPECT_EQ(setup.HasSwitch("the-interface-availability"), c.value != nullptr);
    if (c.value) {
      EXPECT_EQ(setup.GetSwitchValue("the-interface-availability"), c.value);
    }
  }
}

TEST_F(InstallerRunTest, SideFilesAreWrittenRecordedAndForgottenAfterSuccess) {
  brand_.package_dir = dir_ + L"\\";
  brand_.default_language = "uk";
  auto installer = Make(L"x.exe --clids-file=C:\\given\\clids.xml");
  installer->RunSync();
  ASSERT_EQ(installer->exit_code(), 0);
  // This test executable embeds none of the resources: empty files.
  for (const wchar_t* name : {L"master_preferences", L"clids_searchband.xml", L"website.ico"}) {
    std::wstring path = dir_ + L"\\" + name;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << name;
    EXPECT_EQ(data.nFileSizeLow, 0u) << name;
    ::DeleteFileW(path.c_str());
  }
  EXPECT_EQ(::GetFileAttributesW((dir_ + L"\\clids.xml").c_str()), INVALID_FILE_ATTRIBUTES);
  auto& seen = installer->registry_at_setup;
  EXPECT_EQ(seen[L"InstallerData"], dir_ + L"\\master_preferences");
  EXPECT_EQ(seen[L"ClidsFile"], L"C:\\given\\clids.xml");
  EXPECT_EQ(seen[L"TarnixWebsiteIconFile"], dir_ + L"\\website.ico");
  EXPECT_EQ(seen[L"brand"], L"tarnix");
  EXPECT_EQ(seen[L"lang"], L"uk");
  base::CommandLine setup = base::CommandLine::FromString(installer->setup_command_lines.at(0));
  EXPECT_EQ(setup.GetSwitchValue("clids-file"), L"C:\\given\\clids.xml");
  EXPECT_EQ(setup.GetSwitchValue("installerdata"), dir_ + L"\\master_preferences");
  // After a success the setup owns them: the records go, the language stays.
  for (const wchar_t* name : {L"InstallerData", L"ClidsFile", L"ClidsSearchbandFile",
                              L"TarnixWebsiteIconFile", L"brand"})
    EXPECT_TRUE(base::ReadValue(name).empty()) << name;
  EXPECT_EQ(base::ReadValue(L"lang"), L"uk");
  base::RemoveValue(L"lang");
}

// Without a temporary directory a side file would get a bare name that the
// setup resolves against its own current directory.
TEST_F(InstallerRunTest, WithoutATemporaryDirectorySideFilesAreNeitherRecordedNorPassedOn) {
  base::StoreValue(L"ClidsFile", L"C:\\earlier-run\\clids.xml");
  auto installer = Make(L"x.exe --installerdata=C:\\prefs");
  installer->RunSync();
  ASSERT_EQ(installer->exit_code(), 0);
  auto& seen = installer->registry_at_setup;
  EXPECT_EQ(seen[L"InstallerData"], L"C:\\prefs");
  for (const wchar_t* name : {L"ClidsFile", L"ClidsSearchbandFile", L"TarnixWebsiteIconFile"})
    EXPECT_EQ(seen[name], L"") << name;
  base::CommandLine setup = base::CommandLine::FromString(installer->setup_command_lines.at(0));
  EXPECT_EQ(setup.GetSwitchValue("installerdata"), L"C:\\prefs");
  for (const char* name : {"clids-file", "clids-searchband-file", "tarnix-website-icon-file"})
    EXPECT_FALSE(setup.HasSwitch(name)) << name;
  EXPECT_EQ(::GetFileAttributesW(L"clids.xml"), INVALID_FILE_ATTRIBUTES);
  base::RemoveValue(L"lang");
}

TEST_F(InstallerRunTest, StatisticsCarryBrandAndForwardedParameters) {
  brand_.brand_id = "ua-uk";
  brand_.partner_id = "p1";
  params_.Set("banerid", "45");
  params_.Set("tarnixuid", "u7");
  auto installer = Make();
  EXPECT_EQ(reporter_.params["brand_id"], L"ua-uk");
  EXPECT_EQ(reporter_.params["partner_id"], L"p1");
  EXPECT_EQ(reporter_.params["banner_id"], L"45");
  EXPECT_EQ(reporter_.params["tarnix_uid"], L"u7");
  EXPECT_EQ(reporter_.params.count("distr_tarnix_uid"), 0u);

  RecordingReporter bare;
  InstallerEnvironment environment{&clock_, &facts_, nullptr, &bare};
  Installer no_brand(nullptr, nullptr, nullptr, command_line_, environment);
  EXPECT_EQ(bare.params["brand_id"], L"unknown");
  EXPECT_EQ(bare.params["partner_id"], L"unknown");
}

TEST_F(InstallerRunTest, ReportsTheFinishedInstallationLast) {
  auto installer = Make();
  installer->IncrementCancelCount();
  installer->report_result = false;
  installer->RunSync();
  ASSERT_EQ(installer->report_urls.size(), 1u);
  const std::wstring expected = std::wstring(L"https://") + TX_STORAGE_HOST +
                                L"/get/browser/install?ui=" + installer->run_id() +
                                L"&result=cancelled&time=";
  EXPECT_EQ(installer->report_urls[0].substr(0, expected.size()), expected);
  EXPECT_THAT(log_.messages(),
              Contains(HasSubstr("Cannot report installation status: internet_open_url-12029")));

  auto failed = Make();
  failed->download_result = 2;
  failed->RunSync();
  EXPECT_THAT(failed->report_urls.at(0), HasSubstr(L"&result=failed&time=0"));
  EXPECT_NE(failed->run_id(), installer->run_id());
}

TEST_F(InstallerRunTest, VerificationFailureGives402AndNoSetup) {
  RecordingObserver observer;
  auto installer = Make(L"x.exe", &observer);
  installer->verify_result = false;
  clock_.on_wait = [&](size_t) { installer->Stop(); };
  installer->Proceed();
  installer->RunInstall();
  EXPECT_EQ(installer->exit_code(), setup::ToInt(setup::ExitCode::MODULE_VERIFICATION_FAILED));
  EXPECT_TRUE(installer->setup_command_lines.empty());
  EXPECT_FALSE(ArchiveLeft());
  EXPECT_THAT(log_.messages(), Contains(HasSubstr("Module verification failed: ")));
  EXPECT_THAT(reporter_.actions, Contains(L"verification/error"));
  EXPECT_THAT(observer.calls, ElementsAre("error 1"));
}

TEST_F(InstallerRunTest, StopBeforeTheGoAheadEndsBeforeTheSetup) {
  RecordingObserver observer;
  auto installer = Make(L"x.exe", &observer);
  // The window closes as the last bytes arrive: the archive is complete, and
  // the go-ahead never comes. (A stop earlier in the download ends the
  // download itself, with 401.)
  installer->during_download = [&] { ::SetEvent(installer->stop_event()); };
  ASSERT_TRUE(installer->RunAsync());
  EXPECT_TRUE(installer->Stop());
  EXPECT_THAT(log_.messages(),
              Contains(HasSubstr("Installation after download event isn't in signal state or "
                                 "installation was stopped early.")));
  EXPECT_TRUE(installer->setup_command_lines.empty());
  EXPECT_TRUE(observer.calls.empty());  // The window closed: no error to show.
  EXPECT_EQ(installer->exit_code(), setup::ToInt(setup::ExitCode::INSTALLATION_NOT_FINISHED));
  EXPECT_FALSE(ArchiveLeft());
}

TEST_F(InstallerRunTest, GoAheadAfterTheDownloadLetsTheThreadFinish) {
  RecordingObserver observer;
  auto installer = Make(L"x.exe --do-not-launch-browser", &observer);
  installer->MarkOkButtonPressed();
  ASSERT_TRUE(installer->RunAsync());
  installer->Proceed();
  // The run reaches its end by itself; the stop after it only joins the
  // thread, after which its records may be read.
  ASSERT_TRUE(installer->reported.TimedWait(10000));
  ASSERT_TRUE(installer->Stop());
  EXPECT_THAT(installer->report_urls.at(0), HasSubstr(L"&result=success"));
  // Without waiting for the browser, the window finishes at 100 % at once.
  EXPECT_THAT(observer.calls, ElementsAre("progress 100", "finish 1"));
  base::CommandLine setup = base::CommandLine::FromString(installer->setup_command_lines.at(0));
  EXPECT_EQ(setup.GetSwitchValue("progress-window"), std::to_wstring(0x4242));
  EXPECT_TRUE(setup.HasSwitch("ok-button-pressed-time"));
}

TEST_F(InstallerRunTest, WaitsForTheBrowserInTwentySecondSteps) {
  RecordingObserver observer;
  auto installer = Make(L"x.exe", &observer);
  installer->browser_checks_until_gone = 2;
  installer->Proceed();
  installer->RunInstall();
  EXPECT_EQ(clock_.waits, (std::vector<DWORD>{20000, 20000, 20000}));
  EXPECT_THAT(observer.calls, ElementsAre("finish 1"));
}

TEST_F(InstallerRunTest, FailedDownloadKeepsItsExitCode) {
  auto installer = Make();
  installer->download_result = 2;
  installer->RunSync();
  EXPECT_EQ(installer->exit_code(), setup::ToInt(setup::ExitCode::MODULE_NOT_DOWNLOADED));
  EXPECT_TRUE(installer->setup_command_lines.empty());
  EXPECT_FALSE(ArchiveLeft());
}

TEST_F(InstallerRunTest, PermanentLockKeepsTheDownloadedFileOpenUntilTheGoAhead) {
  auto writable = [](const std::wstring& path) {
    base::ScopedHandle writer(::CreateFileW(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    return writer.is_valid();
  };
  for (bool permanent : {false, true}) {
    SCOPED_TRACE(permanent ? "permanent lock" : "plain");
    if (permanent)
      params_.Set("setup_arc_permanent_lock", "1");
    auto installer = Make();
    installer->expect_holder = permanent;
    base::ManualResetEvent downloaded;
    installer->during_download = [&] { downloaded.Signal(); };
    ASSERT_TRUE(installer->RunAsync());
    ASSERT_TRUE(downloaded.TimedWait(10000));
    // The run now waits for the user. Only a permanent lock keeps writers
    // out meanwhile; without it the file is free once downloaded.
    bool ever_writable = false;
    for (int i = 0; i < 30; ++i) {
      ever_writable |= writable(installer->archive_path());
      ::Sleep(10);
    }
    EXPECT_EQ(ever_writable, !permanent);
    installer->Proceed();
    ASSERT_TRUE(installer->reported.TimedWait(10000));
    ASSERT_TRUE(installer->Stop());
    EXPECT_EQ(installer->exit_code(), 0);
    EXPECT_TRUE(installer->verified_while_locked);
    EXPECT_FALSE(ArchiveLeft());
  }
}

TEST_F(InstallerRunTest, ElevatedRunHandsTheDelayedParameters) {
  auto installer = Make(L"x.exe --installerdata=C:\\data");
  bool released = false;
  installer->set_elevated_process(std::make_unique<FakeElevatedProcess>(&released));
  installer->set_send_statistics(true);
  installer->RunSync();
  EXPECT_TRUE(released);
  EXPECT_TRUE(installer->setup_command_lines.empty());
  setup::DelayedParamsValues values = setup::ReadDelayedParams();
  EXPECT_EQ(values.browser_arc_path, installer->archive_path());
  EXPECT_EQ(values.installer_data_path, L"C:\\data");
  EXPECT_TRUE(values.send_statistics);
  EXPECT_EQ(values.histogram_full_time, std::to_wstring(clock_.now_us));
  // The elevated child's own exit code is not the installer's.
  EXPECT_EQ(installer->exit_code(), setup::ToInt(setup::ExitCode::INSTALLATION_NOT_FINISHED));
}

TEST_F(InstallerRunTest, ElevatedChildEndsBeforeTheArchiveLockGoes) {
  auto installer = Make();
  bool released = false, locked_at_end = false;
  installer->set_elevated_process(
      std::make_unique<FakeElevatedProcess>(&released, installer.get(), &locked_at_end));
  installer->RunSync();
  EXPECT_TRUE(released);
  EXPECT_TRUE(locked_at_end);
  // For the elevated road, 400 (no setup code of its own) is the success.
  EXPECT_EQ(reporter_.SetupExitedError(), L"-");
}

TEST_F(InstallerRunTest, ASetupThatReportsAFailureFailsTheRun) {
  // Run directly, the setup's code stays the installer's; the window shows
  // the error and the side records stay for another attempt.
  RecordingObserver observer;
  auto direct = Make(L"x.exe", &observer);
  direct->setup_exit_code = 0x01000005;  // GENERIC_ERROR; error: 5
  direct->Proceed();
  direct->RunInstall();
  EXPECT_EQ(direct->exit_code(), 0x01000005);
  EXPECT_THAT(observer.calls, ElementsAre("error 1", "finish 1"));
  EXPECT_EQ(reporter_.SetupExitedError(), L"16777221");
  EXPECT_THAT(direct->report_urls.at(0), HasSubstr(L"&result=failed&"));
  EXPECT_EQ(base::ReadValue(L"brand"), L"tarnix");
  for (const wchar_t* name : {L"InstallerData", L"ClidsFile", L"ClidsSearchbandFile",
                              L"TarnixWebsiteIconFile", L"brand", L"lang"})
    base::RemoveValue(name);

  // Through the elevated child, the parent learns only that it failed.
  reporter_.events.clear();
  auto elevated = Make();
  bool released = false;
  auto child = std::make_unique<FakeElevatedProcess>(&released);
  child->result = false;
  elevated->set_elevated_process(std::move(child));
  elevated->RunSync();
  EXPECT_TRUE(released);
  EXPECT_EQ(reporter_.SetupExitedError(), L"-1");
  EXPECT_THAT(elevated->report_urls.at(0), HasSubstr(L"&result=failed&"));
}

TEST_F(InstallerRunTest, EverySetupLaunchIsFollowedByItsTrueExit) {
  // The elevated child cannot be handed its parameters: it is never
  // released, and the launch still gets its exit event.
  auto unwritable = Make((L"x.exe --clids-file=C:\\" + std::wstring(300, L'p')).c_str());
  bool released = false;
  unwritable->set_elevated_process(std::make_unique<FakeElevatedProcess>(&released));
  unwritable->RunSync();
  EXPECT_FALSE(released);
  EXPECT_THAT(log_.messages(), Contains(HasSubstr("Unexpected error in CreateDelayedParamsMapping()")));
  EXPECT_THAT(reporter_.actions, Contains(L"setup/setup_exe_launched"));
  EXPECT_EQ(reporter_.SetupExitedError(), L"FailedToStart");

  // A setup that started but whose exit code could not be read did start.
  reporter_.events.clear();
  auto unread = Make();
  unread->setup_result = false;
  unread->RunSync();
  EXPECT_EQ(reporter_.SetupExitedError(), L"400");

  reporter_.events.clear();
  auto never_started = Make();
  never_started->setup_result = false;
  never_started->setup_started = false;
  never_started->RunSync();
  EXPECT_EQ(reporter_.SetupExitedError(), L"FailedToStart");
}

// Exposes the statistics reporter an installer makes for itself.
class OwnReporterInstaller : public Installer {
 public:
  using Installer::Installer;
};

TEST(InstallerStatisticsTest, OnlyTheElevatedChildRestoresSavedParameters) {
  for (bool child : {false, true}) {
    ASSERT_TRUE(base::StoreValue(L"install_stat", L"old_ver\n9.9.9.9\nbanner_id\n77\n"));
    base::CommandLine line =
        base::CommandLine::FromString(child ? L"x.exe --run-as-admin" : L"x.exe");
    OwnReporterInstaller installer(nullptr, nullptr, nullptr, line, InstallerEnvironment());
    EXPECT_EQ(installer.reporter()->GetOldVersion() == L"9.9.9.9", child) << child;
    // A master installer leaves no leftover for the next run either.
    EXPECT_EQ(base::ReadValue(L"install_stat").empty(), !child) << child;
  }
  base::RemoveValue(L"install_stat");
}

TEST_F(InstallerRunTest, MakeDefaultIsIgnoredOnWindows8) {
  for (auto [major, minor, expected] : {std::tuple{6u, 1u, true}, {6u, 2u, false},
                                        {6u, 3u, false}, {10u, 0u, true}}) {
    facts_.version = {major, minor, 0, 0};
    auto installer = Make();
    installer->SetMakeDefault(true);
    EXPECT_EQ(installer->make_default(), expected) << major << "." << minor;
  }
}

// A child that stays until it is killed, for the elevated-process tests.
TEST(ElevatedProcessChild, Sleeper) {
  if (!::GetEnvironmentVariableW(L"TX_ELEVATED_SLEEPER", nullptr, 0))
    GTEST_SKIP() << "runs only as a child of ElevatedInstallerProcessTest";
  ::Sleep(60000);
}

base::ScopedHandle StartChild(const wchar_t* filter_or_command) {
  return base::LaunchProcess(filter_or_command, {});
}

TEST(ElevatedInstallerProcessTest, ExitCodeZeroIsSuccess) {
  for (auto [command, expected] : {std::pair{L"cmd.exe /c exit 0", true},
                                   std::pair{L"cmd.exe /c exit 5", false}}) {
    setup::ElevatedInstallerProcess process;
    process.SetProcessAndWindow(StartChild(command), nullptr);
    base::ManualResetEvent stop;
    EXPECT_EQ(process.RunModule(stop.handle()), expected) << command;
    EXPECT_TRUE(process.released());
  }
}

// The window closed while the setup was still finishing in the child.
TEST(ElevatedInstallerProcessTest, AfterAStopTheChildsOwnEndStillDecides) {
  for (auto [command, expected] : {std::pair{L"cmd.exe /c exit 0", true},
                                   std::pair{L"cmd.exe /c exit 5", false}}) {
    setup::ElevatedInstallerProcess process;
    process.SetProcessAndWindow(StartChild(command), nullptr);
    base::ManualResetEvent stop(base::ManualResetEvent::InitialState::kSignaled);
    EXPECT_EQ(process.RunModule(stop.handle()), expected) << command;
    EXPECT_FALSE(process.terminated());
  }
}

TEST(ElevatedInstallerProcessTest, StopAndHangingChildAreHandled) {
  base::ScopedLogCapture log;
  ::SetEnvironmentVariableW(L"TX_ELEVATED_SLEEPER", L"1");
  std::wstring command = L"\"" + base::GetExecutablePath() +
                         L"\" --gtest_filter=ElevatedProcessChild.Sleeper";
  setup::ElevatedInstallerProcess process;
  process.SetProcessAndWindow(StartChild(command.c_str()), nullptr);
  ::SetEnvironmentVariableW(L"TX_ELEVATED_SLEEPER", nullptr);
  base::ManualResetEvent stop(base::ManualResetEvent::InitialState::kSignaled);
  process.set_finish_timeout_ms(200);
  EXPECT_FALSE(process.RunModule(stop.handle()));
  EXPECT_TRUE(process.terminated());
  EXPECT_THAT(log.messages(),
              ElementsAre(HasSubstr("The elevated installer was terminated due to stop event."),
                          HasSubstr("The elevated installer hangs and must be forcibly "
                                    "terminated.")));
}

}  // namespace
}  // namespace installer
