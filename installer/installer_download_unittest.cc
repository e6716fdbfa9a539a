#include <windows.h>
#include <delayimp.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/fake_clock_for_testing.h"
#include "base/fake_os_facts_for_testing.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/log_capture_for_testing.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "download/download_sink.h"
#include "download/fake_http_for_testing.h"
#include "base/registry_store.h"
#include "download/x64_experiment.h"
#include "base/command_line.h"
#include "setup/exit_code.h"
#include "setup/install_observer.h"
#include "installer/installer.h"
#include "stats/stat_reporter.h"
#include "build_config.h"

namespace installer {
namespace {

using download::FakeHttp;
using download::FakeRequest;
using download::FakeResponse;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int64_t kDayUs = 86400LL * 1000000;

class RecordingReporter : public stats::StatReporter {
 public:
  void SendEvent(const stats::InstallEvent& event) override { events.push_back(event); }
  void SetParam(const std::string& key, const std::wstring& value) override {
    params[key] = value;
  }
  std::vector<std::wstring> Actions() const {
    std::vector<std::wstring> out;
    for (const auto& event : events) {
      auto stage = event.find("stage");
      auto status = event.find("status");
      out.push_back(event.at("action") + (stage != event.end() ? L"/" + stage->second : L"") +
                    (status != event.end() ? L"/" + status->second : L""));
    }
    return out;
  }
  std::vector<stats::InstallEvent> events;
  std::map<std::string, std::wstring> params;
};

class FakeExperiment : public download::X64Experiment {
 public:
  explicit FakeExperiment(base::OsFacts* facts) : X64Experiment(false, facts) {}
  bool GetTotalRam(uint64_t* bytes) override {
    *bytes = 8ull << 30;
    return true;
  }
  bool ChooseX64() override { return true; }
  bool ReadState(int* state) override {
    if (stored_state < 0)
      return false;
    *state = stored_state;
    return true;
  }
  bool WriteState(int state) override {
    written_states->push_back(state);
    return true;
  }
  int stored_state = -1;
  std::vector<int>* written_states = nullptr;
};

// An installer over the fakes; its file is the executable's "creation time".
class TestInstaller : public Installer {
 public:
  TestInstaller(const base::CommandLine& command_line, const InstallerEnvironment& environment,
                const distribution::BrandInfo* brand,
                const distribution::DistribInfoParams* params, base::OsFacts* facts,
                setup::InstallObserver* observer = nullptr)
      : Installer(observer, brand, params, command_line, environment), facts_(facts) {}

  int64_t creation_time = 0;
  int experiment_state = -1;
  std::vector<int> written_states;

 protected:
  bool GetModuleCreationTime(const std::wstring&, int64_t* time) override {
    *time = creation_time;
    return creation_time != 0;
  }
  std::unique_ptr<download::X64Experiment> CreateX64Experiment() override {
    auto experiment = std::make_unique<FakeExperiment>(facts_);
    experiment->stored_state = experiment_state;
    experiment->written_states = &written_states;
    return experiment;
  }

 private:
  base::OsFacts* facts_;
};

class InstallerDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    brand_.setup_url = "https://cdn/browser/tarnix/browser-setup.arc";
    brand_.setup_url_version = "https://cdn/browser/tarnix/22.1/browser-setup.arc";
    brand_.setup_url64 = "https://cdn/browser/tarnix/x64/browser-setup.arc";
    dir_ = base::CreateTemporaryDirectory(L"dl");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    ::DeleteFileW(path_.c_str());
    ::RemoveDirectoryW(dir_.c_str());
  }

  std::unique_ptr<TestInstaller> MakeInstaller(FakeHttp* http, const char* command_line = "x.exe",
                                               const distribution::DistribInfoParams* params =
                                                   nullptr) {
    command_line_ = base::CommandLine::FromString(base::WidenBytes(command_line));
    InstallerEnvironment environment{&clock_, &facts_, http, &reporter_};
    auto installer = std::make_unique<TestInstaller>(command_line_, environment, &brand_,
                                                     params, &facts_);
    installer->set_temp_dir(dir_);
    installer->creation_time = clock_.WallMicroseconds() - kDayUs;  // A fresh installer.
    return installer;
  }

  // Runs GetModule into a fresh file; answers its result.
  int Run(TestInstaller* installer) {
    path_ = installer->GetModulePath();
    EXPECT_FALSE(path_.empty());
    return installer->GetModule(path_, nullptr);
  }

  std::string FileContents() {
    std::string data;
    base::ScopedHandle file(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read)
      data.append(buffer, read);
    return data;
  }

  static std::wstring UrlOf(const std::string& url) {
    return base::WidenBytes(url) + L"?from_installer=true";
  }

  std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i)
      body[i] = static_cast<char>(i * 7 + 3);
    return body;
  }

  base::FakeClock clock_;
  base::FakeOsFacts facts_;
  RecordingReporter reporter_;
  distribution::BrandInfo brand_;
  base::CommandLine command_line_;
  std::wstring dir_;
  std::wstring path_;
  base::ScopedLogCapture log_;
};

TEST_F(InstallerDownloadTest, SingleUrlGetsSixAttemptsWithPausesBetween) {
  FakeHttp http([](const FakeRequest&, size_t) {
    FakeResponse r;
    r.status = 500;
    return r;
  });
  brand_.setup_url_version.clear();
  auto installer = MakeInstaller(&http);
  EXPECT_EQ(Run(installer.get()), 2);
  EXPECT_EQ(installer->exit_code(), setup::ToInt(setup::ExitCode::MODULE_NOT_DOWNLOADED));
  ASSERT_EQ(http.requests().size(), 6u);
  for (const FakeRequest& request : http.requests())
    EXPECT_EQ(request.url, UrlOf(brand_.setup_url));
  EXPECT_EQ(clock_.waits, std::vector<DWORD>(5, 15000));
  std::vector<std::string> messages = log_.messages();
  EXPECT_THAT(messages, testing::Contains(HasSubstr("Max download attempts failed (6)")));
  EXPECT_THAT(messages, testing::Contains(HasSubstr("Module was not downloaded: ")));
}

TEST_F(InstallerDownloadTest, ThreeUrlsInOrderEachRestartingFromZero) {
  // Every attempt delivers half the body, then the connection drops.
  std::string body = Body(100000);
  FakeHttp http([&](const FakeRequest& request, size_t) {
    FakeResponse r = download::ServeBody(body, request);
    r.cut_after = r.body.size() / 2;
    return r;
  });
  auto installer = MakeInstaller(&http, "x.exe --download-x64");
  EXPECT_EQ(Run(installer.get()), 2);
  const auto& requests = http.requests();
  ASSERT_EQ(requests.size(), 9u);
  const std::wstring expected[] = {UrlOf(brand_.setup_url64), UrlOf(brand_.setup_url_version),
                                   UrlOf(brand_.setup_url)};
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(requests[i].url, expected[i / 3]) << i;
    // The first attempt on each address starts from zero, the others resume.
    EXPECT_EQ(requests[i].range_start.has_value(), i % 3 != 0) << i;
  }
  // 50000, then half of the remaining 50000 bytes more.
  EXPECT_EQ(*requests[1].range_start, 50000u);
  EXPECT_EQ(*requests[2].range_start, 75000u);
  EXPECT_EQ(reporter_.events[2].at("x64"), L"1");
}

TEST_F(InstallerDownloadTest, ResumesAfterATenthAndRestartsBelowIt) {
  std::string body = Body(100000);
  FakeHttp http([&](const FakeRequest& request, size_t index) {
    FakeResponse r = download::ServeBody(body, request);
    if (index == 0)
      r.cut_after = 5000;  // 5 %: not worth resuming.
    if (index == 1)
      r.cut_after = 60000;  // 60 %: resume.
    return r;
  });
  brand_.setup_url_version.clear();
  auto installer = MakeInstaller(&http);
  EXPECT_EQ(Run(installer.get()), 0);
  ASSERT_EQ(http.requests().size(), 3u);
  EXPECT_FALSE(http.requests()[1].range_start.has_value());
  EXPECT_EQ(http.requests()[2].range_start, 60000u);
  EXPECT_EQ(FileContents(), body);
  EXPECT_EQ(installer->exit_code(), setup::ToInt(setup::ExitCode::INSTALLATION_NOT_FINISHED));
}

TEST_F(InstallerDownloadTest, UnknownLengthNeverEmptiesTheFile) {
  std::string body = Body(70000);
  FakeHttp http([&](const FakeRequest& request, size_t index) {
    FakeResponse r = download::ServeBody(body, request);
    if (index == 0) {
      r.content_length.reset();
      r.cut_after = 1000;
      r.read_error = ERROR_INTERNET_CONNECTION_RESET;
    }
    return r;
  });
  brand_.setup_url_version.clear();
  auto installer = MakeInstaller(&http);
  EXPECT_EQ(Run(installer.get()), 0);
  EXPECT_EQ(http.requests()[1].range_start, 1000u);
  EXPECT_EQ(FileContents(), body);
}

TEST_F(InstallerDownloadTest, LastFailedAttemptSaysWhyInOneLine) {
  FakeHttp http([](const FakeRequest&, size_t) {
    FakeResponse r;
    r.status = 503;
    r.redirect_url = L"https://mirror.localhost/browser-setup.arc";
    return r;
  });
  brand_.setup_url_version.clear();
  auto installer = MakeInstaller(&http);
  EXPECT_EQ(Run(installer.get()), 2);
  EXPECT_EQ(installer->exit_code(), setup::ToInt(setup::ExitCode::MODULE_NOT_DOWNLOADED));
  const auto& records = log_.records();
  auto max = std::find_if(records.begin(), records.end(), [](const auto& record) {
    return record.message.rfind("Max download attempts failed (6)", 0) == 0;
  });
  ASSERT_NE(max, records.end());
  ASSERT_NE(max + 1, records.end());
  EXPECT_STREQ(max[1].function, "DownloadModule");
  EXPECT_EQ(max[1].message, "Download failed: mirror.localhost answered with HTTP status 503.");
  // The stage-prefixed texts stay as they were.
  EXPECT_THAT(log_.messages(), testing::Contains(HasSubstr("HTTP request status isn't OK")));
  EXPECT_EQ(std::count_if(records.begin(), records.end(), [](const auto& record) {
              return record.message.rfind("Download failed: ", 0) == 0;
            }),
            1);
}

TEST_F(InstallerDownloadTest, StopDuringThePauseEndsTheLoop) {
  FakeHttp http([](const FakeRequest&, size_t) {
    FakeResponse r;
    r.open_fails = true;
    return r;
  });
  auto installer = MakeInstaller(&http);
  clock_.on_wait = [&](size_t) { installer->Stop(); };
  EXPECT_EQ(Run(installer.get()), 2);
  EXPECT_EQ(http.requests().size(), 1u);
  EXPECT_THAT(log_.messages(), testing::Contains(HasSubstr("Max download attempts failed (6)")));
  // A stop is nothing to explain.
  EXPECT_THAT(log_.messages(), testing::Not(testing::Contains(HasSubstr("Download failed: "))));
}

TEST_F(InstallerDownloadTest, DelayLoadFaultsEndTheLoopAtOnce) {
  struct Case {
    const char* dll;
    const char* proc;
    int expected;
  } cases[] = {
      {"CPLIB.dll", "CPCryptoProInit", 3},
      {"cplib.dll", "SomethingElse", 2},
      {"other.dll", "CryptoPro", 2},
  };
  for (const Case& c : cases) {
    DelayLoadInfo info = {};
    info.cb = sizeof(info);
    info.szDll = c.dll;
    info.dlp.fImportByName = TRUE;
    info.dlp.szProcName = c.proc;
    FakeHttp http([&](const FakeRequest&, size_t) {
      FakeResponse r;
      r.raise_code = 0xC06D007E;
      r.raise_argument = &info;
      return r;
    });
    reporter_.events.clear();
    auto installer = MakeInstaller(&http);
    EXPECT_EQ(Run(installer.get()), c.expected) << c.dll << " " << c.proc;
    EXPECT_EQ(http.requests().size(), 1u);
    EXPECT_THAT(reporter_.Actions(), ElementsAre(L"download/started")) << c.dll;
    EXPECT_THAT(log_.messages(),
                testing::Contains(HasSubstr(std::string("Exception with code=3228369022dll_name=") +
                                            c.dll + "proc_name=" + c.proc)));
    ::DeleteFileW(path_.c_str());
  }
}

TEST_F(InstallerDownloadTest, EventsOfAFailedThenSuccessfulDownload) {
  std::string body = Body(40000);
  FakeHttp http([&](const FakeRequest& request, size_t index) {
    FakeResponse r = download::ServeBody(body, request);
    if (index == 0)
      r.status = 404;
    else
      r.redirect_url = L"https://mirror.example.net/browser/x/browser-setup.arc";
    return r;
  });
  brand_.setup_url_version.clear();
  auto installer = MakeInstaller(&http);
  clock_.on_wait = [&](size_t) { clock_.AdvanceMs(3000); };
  ASSERT_EQ(Run(installer.get()), 0);
  EXPECT_THAT(reporter_.Actions(),
              ElementsAre(L"download/started", L"download/error", L"download_attempt/failed",
                          L"download_attempt/success", L"download/finished"));
  const auto& error = reporter_.events[1];
  EXPECT_EQ(error.at("error").rfind(L"attempt-1-final_query_info-404-", 0), 0u);
  const auto& failed = reporter_.events[2];
  EXPECT_EQ(failed.at("attempt_number"), L"1");
  EXPECT_EQ(failed.at("downloaded_size"), L"0");
  EXPECT_EQ(failed.at("error").rfind(L"final_query_info-404-", 0), 0u);
  EXPECT_EQ(failed.count("redirect"), 0u);
  EXPECT_EQ(failed.count("x64"), 0u);
  // Escaped as one path segment: no separator survives.
  const std::wstring& url = failed.at("url");
  EXPECT_EQ(url.find(L'/'), std::wstring::npos) << url;
  EXPECT_EQ(url.find(L'?'), std::wstring::npos) << url;
  EXPECT_NE(url.find(L"%2Fcdn%2Fbrowser%2Ftarnix%2Fbrowser-setup.arc%3Ffrom_installer"),
            std::wstring::npos)
      << url;
  const auto& success = reporter_.events[3];
  EXPECT_EQ(success.at("attempt_number"), L"2");
  EXPECT_EQ(success.at("downloaded_size"), L"40000");
  EXPECT_EQ(success.at("total_size"), L"40000");
  EXPECT_EQ(success.count("error"), 0u);
  EXPECT_EQ(success.at("redirect"), L"mirror.example.net");
  // 15 s pause plus the 3 s the test added: the download took 18 s.
  EXPECT_EQ(reporter_.events[4].at("download_time"), L"18");
  EXPECT_EQ(reporter_.params.at("install_type"), L"normal");
  EXPECT_EQ(reporter_.params.at("new_ver"), L"0.0.0.0");
}

TEST_F(InstallerDownloadTest, CancelledInstallationSendsNoAttemptEvents) {
  FakeHttp http([](const FakeRequest&, size_t) {
    FakeResponse r;
    r.status = 500;
    return r;
  });
  auto installer = MakeInstaller(&http);
  installer->IncrementCancelCount();
  clock_.on_wait = [&](size_t count) {
    if (count == 2)
      installer->Stop();
  };
  EXPECT_EQ(Run(installer.get()), 2);
  EXPECT_THAT(reporter_.Actions(), ElementsAre(L"download/started"));
}

TEST_F(InstallerDownloadTest, VersionedUrlRules) {
  FakeHttp http([](const FakeRequest&, size_t) { return FakeResponse(); });
  auto installer = MakeInstaller(&http);
  int64_t now = clock_.WallMicroseconds();
  installer->creation_time = now - 29 * kDayUs;
  EXPECT_TRUE(installer->IsVersionedSetupUrlAllowed("https://cdn/v/1"));
  installer->creation_time = now + kDayUs;  // A clock set back counts as fresh.
  EXPECT_TRUE(installer->IsVersionedSetupUrlAllowed("https://cdn/v/1"));
  installer->creation_time = now - 30 * kDayUs;
  EXPECT_FALSE(installer->IsVersionedSetupUrlAllowed("https://cdn/v/1"));
  installer->creation_time = 0;
  EXPECT_FALSE(installer->IsVersionedSetupUrlAllowed("https://cdn/v/1"));
  installer->creation_time = now;
  EXPECT_FALSE(installer->IsVersionedSetupUrlAllowed(""));
  log_.Clear();
  EXPECT_FALSE(installer->IsVersionedSetupUrlAllowed("https://cdn/{version}/x"));
  ASSERT_EQ(log_.messages().size(), 1u);
  EXPECT_EQ(log_.messages()[0].rfind("Wrong setup url:https://cdn/{version}/x - ", 0), 0u);
  EXPECT_STREQ(log_.records()[0].function, "IsVersionedSetupUrlAllowed");
}

TEST_F(InstallerDownloadTest, ExperimentGroupFollowsTheFirstAddress) {
  std::string body = Body(1000);
  distribution::DistribInfoParams params;
  params.Set("try_x64", "1");
  params.Set("x64_ram", "1024");
  struct Case {
    int failures_before_success;
    std::vector<int> expected_states;
    size_t expected_requests;
  } cases[] = {
      {0, {1}, 1},   // First address: stays in the 64-bit group.
      {3, {2}, 4},   // Needed the second address: leaves the experiment.
      {99, {2}, 9},  // Failed altogether: leaves the experiment.
  };
  for (const Case& c : cases) {
    FakeHttp http([&](const FakeRequest& request, size_t index) {
      FakeResponse r = download::ServeBody(body, request);
      if (static_cast<int>(index) < c.failures_before_success)
        r.status = 503;
      return r;
    });
    auto installer = MakeInstaller(&http, "x.exe", &params);
    Run(installer.get());
    EXPECT_EQ(installer->written_states, c.expected_states) << c.failures_before_success;
    EXPECT_EQ(http.requests().size(), c.expected_requests);
    EXPECT_EQ(http.requests()[0].url, UrlOf(brand_.setup_url64));
    ::DeleteFileW(path_.c_str());
  }
}

TEST_F(InstallerDownloadTest, SwitchesOverrideTheExperimentAndLegacySystemsUseOneAddress) {
  distribution::DistribInfoParams params;
  params.Set("try_x64", "1");
  params.Set("x64_ram", "1024");
  FakeHttp http([](const FakeRequest&, size_t) {
    FakeResponse r;
    r.body = "x";
    r.content_length = 1;
    return r;
  });
  brand_.setup_url32 = "https://cdn/x86/browser-setup.arc";
  auto installer = MakeInstaller(&http, "x.exe --download-x32", &params);
  ASSERT_EQ(Run(installer.get()), 0);
  EXPECT_EQ(http.requests().back().url, UrlOf(brand_.setup_url32));
  EXPECT_TRUE(installer->written_states.empty());
  ::DeleteFileW(path_.c_str());

  facts_.version = {6, 0, 6002, 0};
  auto legacy = MakeInstaller(&http, "x.exe --download-x64");
  ASSERT_EQ(Run(legacy.get()), 0);
  EXPECT_EQ(http.requests().back().url,
            std::wstring(L"https://") + TX_CDN_HOST +
                L"/browser-partners/_xp_builds/browser-setup.arc?from_installer=true");
}

TEST_F(InstallerDownloadTest, FileThatCannotBeCreatedGivesOne) {
  FakeHttp http([](const FakeRequest&, size_t) { return FakeResponse(); });
  auto installer = MakeInstaller(&http);
  bool downloaded = true;
  EXPECT_EQ(installer->DownloadOrExtractModule(base::JoinPath(dir_, L"no\\such\\dir\\f"),
                                               &downloaded, nullptr),
            1);
  EXPECT_FALSE(downloaded);
  EXPECT_THAT(log_.messages(), testing::Contains(HasSubstr("Cannot create file:")));
  EXPECT_TRUE(http.requests().empty());
}

class ProgressObserver : public setup::InstallObserver {
 public:
  void SetDownloadFraction(float fraction) override { fractions.push_back(fraction); }
  void OnSlowDownload() override { ++slow; }
  void SetRemainingTime(int32_t seconds, int32_t state) override {
    times.push_back({seconds, state});
  }
  void Finish(int) override {}
  void OnError(int) override {}
  HWND GetWindowHandle() override { return nullptr; }
  void SetProgressPercent(int) override {}
  void OnSetupStarted() override {}
  std::vector<float> fractions;
  std::vector<std::pair<int32_t, int32_t>> times;
  int slow = 0;
};

TEST_F(InstallerDownloadTest, ProgressReachesTheObserverWithTheInstallationsTime) {
  // Four chunks, each arriving 40 s after the last: estimates after the
  // second and the fourth minute's worth of elapsed time.
  std::string body = Body(4 * 32768);
  FakeHttp http([&](const FakeRequest& request, size_t) {
    FakeResponse r = download::ServeBody(body, request);
    r.on_read = [&] { clock_.AdvanceMs(40000); };
    return r;
  });
  brand_.setup_url_version.clear();
  ProgressObserver observer;
  command_line_ = base::CommandLine::FromString(L"x.exe");
  InstallerEnvironment environment{&clock_, &facts_, &http, &reporter_};
  TestInstaller installer(command_line_, environment, &brand_, nullptr, &facts_, &observer);
  installer.set_temp_dir(dir_);
  path_ = installer.GetModulePath();
  ASSERT_EQ(installer.GetModule(path_, nullptr), 0);
  ASSERT_FALSE(observer.times.empty());
  // Every remaining time carries 240 s for the installation after the download.
  EXPECT_EQ(observer.times.front(), (std::pair<int32_t, int32_t>{-1 + 240, 0}));
  EXPECT_EQ(observer.times.back(), (std::pair<int32_t, int32_t>{0 + 240, 2}));
  ASSERT_GE(observer.times.size(), 3u);
  EXPECT_EQ(observer.times[1].second, 1);
  EXPECT_GE(observer.times[1].first, 240);
  EXPECT_EQ(observer.fractions.front(), 0.0f);
  EXPECT_EQ(observer.fractions.back(), 1.0f);
  EXPECT_GE(observer.slow, 1);  // More than two minutes in all.
}

}  // namespace
}  // namespace installer
