// The Installer's operations that obtain the setup archive.
#include <windows.h>

#include "base/clock.h"
#include "base/file_util.h"
#include "base/os_facts.h"
#include "base/string_conv.h"
#include "base/test_hooks.h"
#include "base/logging.h"
#include "distribution/brand_info.h"
#include "download/download_failure_reason.h"
#include "download/download_sink.h"
#include "download/file_version.h"
#include "download/x64_experiment.h"
#include "base/command_line.h"
#include "setup/exit_code.h"
#include "setup/install_observer.h"
#include "installer/installer.h"
#include "base/installer_switches.h"
#include "stats/download_events.h"
#include "stats/stat_reporter.h"
#include "stats/url_parts.h"

namespace installer {

namespace {

constexpr int64_t kVersionedUrlMaxAgeUs = 2592000000000LL;  // 30 days
constexpr int32_t kInstallSecondsAfterDownload = 240;
constexpr uint32_t kDelayLoadModuleNotFound = 0xC06D007E;

// Opening a URL tripped over the CryptoPro provider's missing library.
bool IsCryptoProFault(const download::OpenFailureInfo& failure) {
  return failure.exception_code == kDelayLoadModuleNotFound &&
         base::ToLowerAscii(failure.exception_dll) == "cplib.dll" &&
         base::ToLowerAscii(failure.exception_proc).find("cryptopro") != std::string::npos;
}

}  // namespace

// Forwards download progress to the observer; the remaining time grows by the
// installation that follows the download.
class Installer::ProgressAdapter : public download::DownloadProgress {
 public:
  explicit ProgressAdapter(setup::InstallObserver* observer) : observer_(observer) {}
  void SetFraction(float fraction) override {
    if (observer_)
      observer_->SetDownloadFraction(fraction);
  }
  void OnSlowDownload() override {
    if (observer_)
      observer_->OnSlowDownload();
  }
  void SetRemainingTime(int32_t seconds, int32_t state) override {
    if (observer_)
      observer_->SetRemainingTime(seconds + kInstallSecondsAfterDownload, state);
  }

 private:
  setup::InstallObserver* observer_;
};

std::wstring Installer::GetModulePath() {
  wchar_t path[MAX_PATH];
  if (!::GetTempFileNameW(temp_dir_.c_str(), L"tx", 0, path)) {
    PLOG(ERROR) << "Cannot obtain temp file.";
    return {};
  }
  return path;
}

int Installer::GetModule(const std::wstring& path, base::ScopedHandle* holder) {
  int64_t start = clock_->NowMicroseconds();
  bool downloaded = false;
  int result = DownloadOrExtractModule(path, &downloaded, holder);
  download_duration_us_ = clock_->NowMicroseconds() - start;
  if (result != 0) {
    PLOG(ERROR) << "Module was not downloaded: " << path;
    exit_code_ = setup::ToInt(setup::ExitCode::MODULE_NOT_DOWNLOADED);
    return result;
  }
  LOG(INFO) << "Module downloaded: " << path;
  if (reporter_) {
    reporter_->SetParam("new_ver", base::WidenBytes(download::FileVersionString(path)));
    reporter_->SetParam("install_type", L"normal");
  }
  stats::ReportDownloadFinished(reporter_, downloaded ? download_duration_us_ : -1);
  return 0;
}

int Installer::DownloadOrExtractModule(const std::wstring& path, bool* downloaded,
                                       base::ScopedHandle* holder) {
  *downloaded = false;
  base::ScopedHandle own;
  base::ScopedHandle& file = holder ? *holder : own;
  file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, holder ? FILE_SHARE_READ : 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid()) {
    PLOG(ERROR) << "Cannot create file:" << path;
    return 1;
  }
  LOG(INFO) << "Try to download module:" << path;
  int result = DownloadModule(file.get(), command_line_);
  *downloaded = result == 0;
  return result;
}

int Installer::DownloadModule(HANDLE file, const base::CommandLine& command_line) {
  download::FileSink sink(file);
  std::unique_ptr<download::X64Experiment> experiment = CreateX64Experiment();
  download::SetupArch arch = download::SetupArch::kDefault;
  if (command_line.HasSwitch(base::switches::kDownloadX64))
    arch = download::SetupArch::kX64;
  else if (command_line.HasSwitch(base::switches::kDownloadX32))
    arch = download::SetupArch::kX86;
  else if (params_)
    arch = experiment->AdjustDownloadUrl(*params_);

  distribution::BrandInfo no_brand;
  const distribution::BrandInfo& brand = brand_ ? *brand_ : no_brand;
  base::OsVersion os = os_facts_->Version();
  bool versioned = !download::UsesLegacySetupUrl(os) &&
                   IsVersionedSetupUrlAllowed(brand.setup_url_version);
  std::vector<std::wstring> urls = download::BuildSetupUrlList(os, arch, brand, versioned);

  // One record per URL keeps every line of the shared log in its format.
  LOG(INFO) << "Selected download urls:";
  for (const std::wstring& url : urls)
    LOG(INFO) << url;
  stats::ReportDownloadStarted(reporter_);

  download::AttemptPlan plan = download::MakeAttemptPlan(urls.size());
  ProgressAdapter progress(observer_);
  std::wstring previous_url;
  download::DownloadUrlResult result;
  int i = 0;
  for (; i < plan.attempts && !stop_event_.IsSignaled(); ++i) {
    const std::wstring& url = urls[i / plan.per_url];
    if (url != previous_url) {
      // A new address always starts from byte 0.
      previous_url = url;
      ResetSink(&sink);
    }
    result = download::DownloadUrlResult();
    bool ok = DownloadWithDetails(url, &sink, &progress, &result);
    stats::DownloadAttempt attempt;
    attempt.success = ok;
    attempt.url = url;
    attempt.attempt_number = static_cast<uint32_t>(i + 1);
    attempt.total_size = result.content_length;
    attempt.error = result.error;
    attempt.final_url = result.redirect_url;
    attempt.x64 = arch == download::SetupArch::kX64;
    if (ok) {
      attempt.downloaded_size = sink.total_written();
      stats::ReportDownloadAttempt(reporter_, cancel_count_, attempt);
      experiment->ConfigurateRegistry(i < plan.per_url);
      return 0;
    }
    const download::OpenFailureInfo& failure = result.open_failure;
    if (failure.exception_code != 0) {
      PLOG(ERROR) << "Exception with code=" << static_cast<unsigned long>(failure.exception_code)
                  << (failure.exception_dll.empty() ? "" : "dll_name=")
                  << failure.exception_dll
                  << (failure.exception_proc.empty() ? "" : "proc_name=")
                  << failure.exception_proc;
      return IsCryptoProFault(failure) ? 3 : 2;
    }
    uint32_t written = sink.total_written();
    // Less than a tenth is not worth resuming; start the address again.
    if (written < static_cast<uint64_t>(result.content_length) * 10 / 100)
      ResetSink(&sink);
    attempt.downloaded_size = written;
    stats::ReportDownloadAttempt(reporter_, cancel_count_, attempt);
    if (i + 1 < plan.attempts)
      PauseBetweenAttempts();
  }
  PLOG(ERROR) << "Max download attempts failed (" << plan.attempts << ")";
  // After the last attempt, not after a stop: the person reading the log
  // learns what to fix.
  if (i == plan.attempts && !stop_event_.IsSignaled()) {
    const std::wstring& last_url = result.redirect_url.empty() ? previous_url
                                                               : result.redirect_url;
    LOG(ERROR) << download::DescribeDownloadFailure(
        base::NarrowLow8(result.error), base::WideToUtf8(stats::UrlHost(last_url)),
        result.certificate, clock_->WallMicroseconds());
  }
  experiment->ConfigurateRegistry(false);
  return 2;
}

void Installer::ResetSink(download::DownloadSink* sink) {
  // The sink then refuses to write, so the attempt fails as a write error.
  if (!sink->Reset())
    PLOG(ERROR) << "Cannot empty the archive file for a new start.";
}

bool Installer::IsVersionedSetupUrlAllowed(const std::string& url) {
  if (url.empty())
    return false;
  if (url.find('{') != std::string::npos) {
    PLOG(ERROR) << "Wrong setup url:" << url;
    return false;
  }
  int64_t created = 0;
  std::wstring executable = base::GetExecutablePath();
  if (executable.empty() || !GetModuleCreationTime(executable, &created) || created == 0)
    return false;
  return clock_->WallMicroseconds() - created < kVersionedUrlMaxAgeUs;
}

bool Installer::Download(const std::wstring& url, download::DownloadSink* sink,
                         std::wstring* error, std::wstring* redirect_url) {
  LOG(INFO) << "Attempt to download module: " << url;
  sink->Reset();
  download::DownloadUrlResult result;
  bool ok = download::DownloadUrl(url, sink, stop_event_.handle(), nullptr, &result, http_,
                                  clock_);
  if (error)
    *error = result.error;
  if (redirect_url)
    *redirect_url = result.redirect_url;
  return ok;
}

bool Installer::DownloadWithDetails(const std::wstring& url, download::DownloadSink* sink,
                                    download::DownloadProgress* progress,
                                    download::DownloadUrlResult* result) {
  return download::DownloadUrl(url, sink, stop_event_.handle(), progress, result, http_,
                               clock_);
}

void Installer::PauseBetweenAttempts() {
  DWORD pause = download::kAttemptPauseMs;
#if defined(TX_TEST_HOOKS)
  // End-to-end tests of failing servers would otherwise wait a minute or more.
  pause = base::TestHookMilliseconds(L"TX_TEST_ATTEMPT_PAUSE_MS", pause);
#endif
  clock_->WaitForEvent(stop_event_.handle(), pause);
}

bool Installer::GetModuleCreationTime(const std::wstring& path, int64_t* time) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    return false;
  *time = base::FileTimeToMicroseconds(data.ftCreationTime);
  return true;
}

std::unique_ptr<download::X64Experiment> Installer::CreateX64Experiment() {
  return std::make_unique<download::X64Experiment>(
      command_line_.HasSwitch(base::switches::kProgramFilesInstallation), os_facts_);
}

}  // namespace installer
