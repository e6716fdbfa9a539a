#include "installer/installer.h"

#include <process.h>

#include "base/clock.h"
#include "base/file_util.h"
#include "base/guid.h"
#include "base/os_facts.h"
#include "base/string_conv.h"
#include "base/test_hooks.h"
#include "base/logging.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "distribution/user_id.h"
#include "download/async_install_tasks.h"
#include "download/download_sink.h"
#include "base/registry_store.h"
#include "base/command_line.h"
#include "setup/exit_code.h"
#include "setup/install_observer.h"
#include "base/installer_switches.h"
#include "setup/delayed_params.h"
#include "setup/elevated_installer_process.h"
#include "setup/setup_command_line.h"
#include "setup/setup_process.h"
#include "download/module_verifier.h"
#include "stats/installation_report.h"
#include "stats/setup_events.h"
#include "stats/stat_reporter.h"
#include "win/interface_availability.h"

namespace installer {

namespace {

constexpr DWORD kThreadStopTimeoutMs = 60000;
constexpr DWORD kBrowserPollMs = 20000;
constexpr DWORD kStatisticsFlushMs = 2000;
// After a stop the window is gone and the thread is expected to end soon.
constexpr DWORD kStatisticsFlushAfterStopMs = 500;
constexpr wchar_t kBrowserWindowClass[] = L"TarnixBrowser_MessageWindow";

// A fresh GUID as 36 characters, without braces.
std::wstring NewRunId() {
  std::wstring id = base::NewGuidText();
  return id.size() == 38 ? id.substr(1, 36) : id;
}

// The setup hears only of packages that were written.
std::wstring FoundPackagePath(bool found, const std::wstring& path) {
  return found ? path : std::wstring();
}

}  // namespace

Installer::Installer(setup::InstallObserver* observer, const distribution::BrandInfo* brand,
                     const distribution::DistribInfoParams* params,
                     const base::CommandLine& command_line, const InstallerEnvironment& environment)
    : observer_(observer),
      brand_(brand),
      params_(params),
      command_line_(command_line),
      clock_(environment.clock ? environment.clock : base::DefaultClock()),
      os_facts_(environment.os_facts ? environment.os_facts : base::GetOsFacts()),
      http_(environment.http ? environment.http : download::DefaultHttpClientFactory()),
      reporter_(environment.reporter),
      data_dir_(brand ? brand->package_dir : std::wstring()),
      installer_data_path_(command_line.GetSwitchValue(base::switches::kInstallerData)),
      clids_file_path_(command_line.GetSwitchValue(base::switches::kClidsFile)),
      clids_searchband_file_path_(
          command_line.GetSwitchValue(base::switches::kClidsSearchbandFile)),
      website_icon_file_path_(command_line.GetSwitchValue(base::switches::kTarnixWebsiteIconFile)),
      temp_dir_(base::GetTempDirectory()),
      exit_code_(setup::ToInt(setup::ExitCode::INSTALLATION_NOT_FINISHED)) {
  // Started before the archive download, so the side data is usually ready
  // when the setup runs.
  if (environment.background_tasks && brand && params) {
    background_tasks_ = std::make_unique<download::AsyncInstallTasks>(*brand, *params, http_);
  }
  SetUpStatistics();
}

void Installer::SetUpStatistics() {
  if (!reporter_) {
    // The elevated child continues its parent's statistics from the saved
    // parameters. Anywhere else a saved value is the leftover of a run that
    // died after saving it, and would lend this run its ids and versions.
    std::wstring saved;
    if (command_line_.HasSwitch(base::switches::kRunAsAdmin))
      saved = base::ReadValue(L"install_stat");
    else
      base::RemoveValue(L"install_stat");
    owned_reporter_ = std::make_unique<stats::StatReporter>(
        saved, base::WidenBytes(distribution::GetUserIdInternal()));
    reporter_ = owned_reporter_.get();
  }
  reporter_->SetParam("brand_id", brand_ ? base::WidenBytes(brand_->brand_id) : L"unknown");
  reporter_->SetParam("partner_id", brand_ ? base::WidenBytes(brand_->partner_id) : L"unknown");
  if (!params_)
    return;
  static constexpr struct {
    const char* param;
    const char* stat_key;
  } kForwarded[] = {
      {"banerid", "banner_id"},
      {"distr_tarnixuid", "distr_tarnix_uid"},
      {"tarnixuid", "tarnix_uid"},
  };
  for (const auto& forwarded : kForwarded) {
    std::string value;
    if (params_->Get(forwarded.param, &value))
      reporter_->SetParam(forwarded.stat_key, base::WidenBytes(value));
  }
}

void Installer::ReportInstallationFinished(bool success) {
  // The report is the run's last word: the events queued before it leave
  // first, and none is dropped when the reporter goes right after. A host
  // that never answers costs no more than this wait.
  reporter_->Flush(stop_event_.IsSignaled() ? kStatisticsFlushAfterStopMs : kStatisticsFlushMs);
  stats::InstallationOutcome outcome;
  outcome.run_id = run_id_;
  outcome.cancel_count = cancel_count_.load();
  outcome.success = success;
  outcome.total_us = total_duration_us_;
  outcome.download_us = download_duration_us_;
  outcome.install_us = setup_duration_us_;
  download::StringSink sink;
  std::wstring error;
  if (!Download(stats::InstallationReportUrl(outcome), &sink, &error, nullptr)) {
    PLOG_AS("ReportInstallationFinished", WARNING)
        << "Cannot report installation status: " << error;
  }
}

Installer::~Installer() {
  if (thread_.is_valid()) {
    stop_event_.Signal();
    if (::WaitForSingleObject(thread_.get(), kThreadStopTimeoutMs) != WAIT_OBJECT_0) {
      PLOG(ERROR) << "Failed to wait for install async exit. Terminate install_thread_";
      ::TerminateThread(thread_.get(), 1);
      // Termination completes asynchronously; the members must outlive it.
      ::WaitForSingleObject(thread_.get(), kThreadStopTimeoutMs);
    }
    thread_.reset();
  }
  elevated_process_.reset();
  owned_reporter_.reset();
  // The setup has ended by now; the files it was given may go.
  background_tasks_.reset();
}

bool Installer::RunAsync() {
  stop_event_.Reset();
  go_event_.Reset();
#if defined(TX_TEST_HOOKS)
  // Tests play a process that has run out of threads.
  if (!base::TestHookValue(L"TX_TEST_NO_INSTALL_THREAD").empty()) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
#endif
  uintptr_t handle = ::_beginthreadex(nullptr, 0, &Installer::ThreadMain, this, 0, nullptr);
  if (!handle)
    return false;
  thread_.reset(reinterpret_cast<HANDLE>(handle));
  return true;
}

unsigned __stdcall Installer::ThreadMain(void* self) {
  static_cast<Installer*>(self)->Install();
  ::_endthreadex(0);
  return 0;
}

void Installer::RunSync() {
  stop_event_.Reset();
  install_start_time_ = clock_->NowMicroseconds();
  go_event_.Signal();
  Install();
}

void Installer::MarkOkButtonPressed() {
  ok_button_time_ = clock_->NowMicroseconds();
}

void Installer::Proceed() {
  install_start_time_ = clock_->NowMicroseconds();
  go_event_.Signal();
}

bool Installer::Stop() {
  stop_event_.Signal();
  if (!thread_.is_valid())
    return true;
  return ::WaitForSingleObject(thread_.get(), kThreadStopTimeoutMs) == WAIT_OBJECT_0;
}

void Installer::SetMakeDefault(bool value) {
  base::OsVersion os = os_facts_->Version();
  bool windows8 = os.major == 6 && (os.minor == 2 || os.minor == 3);
  if (!windows8)
    make_default_ = value;
}

bool Installer::CheckInterfaceAvailability() {
  if (interface_checked_)
    return interface_available_;
  interface_checked_ = true;
  const base::OsVersion os = os_facts_->Version();
  const bool before_windows8 = os.major < 6 || (os.major == 6 && os.minor < 2);
  if (!win::IsWindows10OrLater(os)) {
    interface_available_ = before_windows8;
    return interface_available_;
  }
  static win::SystemProbeProcessLauncher launcher;
  win::InterfaceAvailabilityCheck check(base::GetExecutablePath(), os_facts_, clock_, &launcher);
  uint32_t value = 0;
  interface_available_ = check.Run(&value);
  interface_check_value_ = value;
  return interface_available_;
}

void Installer::set_elevated_process(std::unique_ptr<setup::ElevatedInstallerProcess> process) {
  elevated_process_ = std::move(process);
}

void Installer::Install() {
  stats::ReportInstallerStarted(reporter_, stats::CurrentDisplayFacts(command_line_.GetSwitchValue(
                                               base::switches::kForceDeviceScaleFactor)));
  run_id_ = NewRunId();
  WriteSideFiles();

  bool failed = InstallBrowser();
  if (failed && observer_ && !stop_event_.IsSignaled())
    observer_->OnError(failure_code_);
  if (!failed) {
    RemoveSideFilesRecords();
    base::RemoveValue(L"DistribInfoParams");
    distribution::BrandInfo::RemoveBrandFromRegistry();
    if (brand_) {
      // Only files this run wrote: a bare name must not reach into the
      // current directory.
      if (brand_->brand_package_found)
        ::DeleteFileW(brand_->brand_package_path.c_str());
      if (brand_->partner_package_found)
        ::DeleteFileW(brand_->partner_package_path.c_str());
    }
  }
  if (observer_) {
    // The run ends when the window closes, or when the new browser's message
    // window is gone at the end of a step.
    while (!clock_->WaitForEvent(stop_event_.handle(), kBrowserPollMs)) {
      if (!IsBrowserRunning()) {
        observer_->Finish(1);
        break;
      }
    }
  }
  ReportInstallationFinished(!failed);
}

bool Installer::IsBrowserRunning() {
  return ::FindWindowExW(HWND_MESSAGE, nullptr, kBrowserWindowClass, nullptr) != nullptr;
}

bool Installer::InstallBrowser() {
  LOG(INFO) << "Install Browser.";
  archive_path_ = GetModulePath();
  if (archive_path_.empty())
    return true;
  std::string lock_value;
  const bool permanent_lock = params_ && params_->Get("setup_arc_permanent_lock", &lock_value) &&
                              !lock_value.empty();
  LOG(INFO) << "Executable path: " << archive_path_;
  ::DeleteFileW(archive_path_.c_str());
  // Whatever happens from here on, the archive does not outlive this call.
  struct ArchiveRemover {
    const std::wstring& path;
    ~ArchiveRemover() { ::DeleteFileW(path.c_str()); }
  } remover{archive_path_};

  int64_t download_start = clock_->NowMicroseconds();
  base::ScopedHandle download_file;
  if (int result = GetModule(archive_path_, permanent_lock ? &download_file : nullptr)) {
    // The window shows the CryptoPro notice for this one.
    failure_code_ = result == 3 ? 3 : 1;
    return true;
  }
  int64_t download_time = clock_->NowMicroseconds() - download_start;

  HANDLE wait[] = {stop_event_.handle(), go_event_.handle()};
  if (::WaitForMultipleObjects(2, wait, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
    PLOG(ERROR) << "Installation after download event isn't in signal state or installation "
                   "was stopped early.";
    return true;
  }
  int64_t go_time = clock_->NowMicroseconds();

  // Nobody may change the archive between its verification and its run.
  // In permanent lock mode the download's own handle kept writers out until
  // now; it is swapped for the lock, since a handle with write access would
  // keep the verifier and the setup process from opening the file.
  download_file.reset();
  base::ScopedHandle lock = LockArchive(archive_path_);
  if (!lock.is_valid()) {
    if (permanent_lock)
      stats::ReportSetupArcLockError(reporter_);
    PLOG(ERROR) << "Cannot lock file: " << archive_path_;
    return true;
  }

  if (!VerifyArchive(archive_path_)) {
    PLOG(ERROR) << "Module verification failed: " << archive_path_;
    exit_code_ = setup::ToInt(setup::ExitCode::MODULE_VERIFICATION_FAILED);
    stats::ReportVerificationError(reporter_);
    return true;
  }
  LOG(INFO) << "Verification succeeded: " << archive_path_;

  // Its value goes into the setup command line; the window took it already.
  CheckInterfaceAvailability();

  int64_t setup_start = clock_->NowMicroseconds();
  reporter_->SaveParams();
  const bool elevated = elevated_process_ != nullptr;
  stats::ReportSetupLaunched(reporter_, elevated);

  bool started = false;
  bool setup_ok = false;
  // An elevated process (an administrator's, or SYSTEM's, whose temporary
  // folder every user may write to) does not start the setup where others
  // may leave DLLs for it: it runs a copy from a folder of its own.
  base::PrivateDirectory private_folder;
  if (!elevated) {
    const std::wstring program =
        os_facts_->ProcessIsElevated()
            ? CopyToPrivateFolder(lock.get(), archive_path_, &private_folder)
            : archive_path_;
    if (!program.empty()) {
      setup_run_result_ = RunModule(program, BuildSetupCommandLine(program, true));
      // A setup that ran and reported a failure did not install the
      // browser: the side files stay for another attempt.
      setup_ok =
          setup_run_result_ && setup::SetupSucceeded(static_cast<uint32_t>(exit_code_));
      started = setup_process_created_;
    }
  } else if (!WriteDelayedParamsForChild()) {
    PLOG(ERROR) << "Unexpected error in CreateDelayedParamsMapping()";
  } else {
    started = true;
    setup_ok = RunModuleInElevatedProcess();
  }

  setup_duration_us_ = clock_->NowMicroseconds() - setup_start;
  // The elevated child runs the archive under this lock: it ends (or is
  // ended) before the lock goes, so nobody can swap the file under it.
  elevated_process_.reset();
  lock.reset();
  // Every launched event gets its exited event, whatever ended the step. The
  // elevated road keeps 400 as its code, which counts as its success there.
  const int exited_code = elevated && started && !setup_ok
                              ? setup::ToInt(setup::ExitCode::ELEVATED_RUN_FAILED)
                              : exit_code_.load();
  stats::ReportSetupExited(reporter_, elevated, exited_code, setup_duration_us_, started);

  if (!setup_ok)
    return true;
  bool wait_for_browser =
      !command_line_.HasSwitch(base::switches::kDoNotLaunchBrowser) && setup_run_result_;
  if (!wait_for_browser && observer_) {
    observer_->SetProgressPercent(100);
    observer_->Finish(1);
    observer_ = nullptr;
  }
  total_duration_us_ = download_time + (clock_->NowMicroseconds() - go_time);
  return false;
}

bool Installer::WriteDelayedParamsForChild() {
  setup::DelayedParamsValues values;
  values.browser_arc_path = archive_path_;
  values.clids_file_path = clids_file_path_;
  values.clids_searchband_file_path = clids_searchband_file_path_;
  values.tarnix_website_icon_file_path = website_icon_file_path_;
  values.installer_data_path = installer_data_path_;
  if (brand_) {
    values.brand_package_path = FoundPackagePath(brand_->brand_package_found,
                                                 brand_->brand_package_path);
    values.partner_package_path = FoundPackagePath(brand_->partner_package_found,
                                                   brand_->partner_package_path);
  }
  values.partner_package_override_path = override_partner_package_path_;
  values.histogram_download_time = base::NumberToWString(download_duration_us_ / 1000);
  values.histogram_full_time = base::NumberToWString(install_start_time_.load());
  values.send_statistics = send_statistics_;
  values.make_default = make_default_;
  values.create_quova_shortcut = create_quova_shortcut_;
  return setup::WriteDelayedParams(values);
}

std::wstring Installer::CopyToPrivateFolder(HANDLE lock, const std::wstring& archive,
                                           base::PrivateDirectory* folder) {
  std::wstring copy;
  if (folder->Create(base::SystemTempDirectory()))
    copy = folder->CopyFrom(lock, base::BaseName(archive));
  if (copy.empty())
    PLOG(ERROR) << "Cannot copy the browser archive into a private folder: " << archive;
  return copy;
}

base::ScopedHandle Installer::LockArchive(const std::wstring& path) {
  return base::ScopedHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
}

base::CommandLine Installer::BuildSetupCommandLine(const std::wstring& archive_path,
                                             bool direct_run) const {
  setup::SetupCommandLineOptions o;
  o.archive_path = archive_path;
  o.direct_run = direct_run;
  o.elevation_declined = elevation_declined_;
  if (observer_)
    o.progress_window = reinterpret_cast<uintptr_t>(observer_->GetWindowHandle());
  if (brand_) {
    o.brand_name = base::WidenBytes(brand_->brand_name);
    o.brand_package_path = FoundPackagePath(brand_->brand_package_found,
                                            brand_->brand_package_path);
    o.partner_package_path = FoundPackagePath(brand_->partner_package_found,
                                              brand_->partner_package_path);
  }
  if (params_)
    o.distrib_info_path = params_->distrib_info_path();
  o.make_default = make_default_;
  o.send_statistics = send_statistics_;
  o.create_quova_shortcut = create_quova_shortcut_;
  o.ok_button_pressed_time = ok_button_time_;
  o.install_start_time = install_start_time_;
  o.interface_availability = interface_check_value_;
  // The template is built on the window thread while the installation
  // thread may be writing the side-file paths; only a direct run reads them.
  if (direct_run) {
    o.installer_data_path = installer_data_path_;
    o.clids_file_path = clids_file_path_;
    o.clids_searchband_file_path = clids_searchband_file_path_;
    o.website_icon_file_path = website_icon_file_path_;
    o.override_partner_package_path = override_partner_package_path_;
  }
  o.elevation_point = setup::ElevationPoint(params_, command_line_);
  // Fixed at construction, so any thread may read them.
  if (background_tasks_) {
    o.variations_path = background_tasks_->variations_path();
    o.abt_path = background_tasks_->abt_path();
    o.server_config_bundle_path = background_tasks_->server_config_path();
    o.wallpaper_bundle_path = background_tasks_->wallpaper_path();
  }
  return setup::BuildSetupCommandLine(command_line_, o);
}

bool Installer::RestartAsAdmin(const setup::ShellExecuteFunction& shell_execute) {
  // An earlier child is cancelled through the same named events; that must
  // be over before a new child waits on them.
  elevated_process_.reset();
  // The child's command line is built now and carries the check's value.
  CheckInterfaceAvailability();
  setup::RestartAsAdminResult result = setup::RestartAsAdmin(
      command_line_,
      [this](const std::wstring& archive_path) {
        return BuildSetupCommandLine(archive_path, /*direct_run=*/false);
      },
      shell_execute);
  elevation_declined_ = result.declined;
  if (!result.process)
    return false;
  set_elevated_process(std::move(result.process));
  return true;
}

bool Installer::RunModule(const std::wstring& archive_path, const base::CommandLine& command_line) {
  base::CommandLine line = command_line;
  line.set_program(archive_path);
  line.SetSwitch(base::switches::kSource, base::switches::kSourceLite);
  // Named as the application too: left to the search, a name without an
  // extension would run "<name>.exe" instead of the file that was verified.
  int code = exit_code_;
  const bool ran = setup::RunModuleAndWait(archive_path.c_str(), line.Format(), &code, observer_,
                                           &setup_process_created_);
  exit_code_ = code;
  return ran;
}

bool Installer::RunModuleInElevatedProcess() {
  LOG(INFO) << "Started waiting the elevated installer has finished its work.";
  bool ok = elevated_process_->RunModule(stop_event_.handle());
  LOG(INFO) << "The elevated installer has finished, success=" << (ok ? 1 : 0);
  return ok;
}

bool Installer::VerifyArchive(const std::wstring& path) {
  return VerifyWithTrustJson(path, download::GetTrustJsonFromModule(path));
}

bool Installer::VerifyWithTrustJson(const std::wstring& path, const std::string& trust_json) {
  download::TrustedCertificates certificates;
  download::LoadTrustedCertificates(trust_json, &certificates);
  return VerifyModuleWithTrust(path, certificates);
}

bool Installer::VerifyModuleWithTrust(const std::wstring& path,
                                      const download::TrustedCertificates& certificates) {
  LOG_AS("VerifyModule", INFO) << "Verifying " << path;
  return download::VerifyModule(path, certificates);
}

}  // namespace installer
