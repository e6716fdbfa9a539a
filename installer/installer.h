#ifndef INSTALLER_INSTALLER_H_
#define INSTALLER_INSTALLER_H_

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/private_directory.h"
#include "base/scoped_handle.h"
#include "base/waitable_event.h"
#include "download/downloader.h"
#include "download/setup_url_list.h"
#include "download/trust_list.h"
#include "setup/elevation_policy.h"

namespace base {
class Clock;
class CommandLine;
class OsFacts;
}  // namespace base
namespace distribution {
class DistribInfoParams;
struct BrandInfo;
}  // namespace distribution
namespace download {
class AsyncInstallTasks;
class X64Experiment;
}  // namespace download
namespace setup {
class ElevatedInstallerProcess;
class InstallObserver;
}  // namespace setup
namespace stats {
class StatReporter;
}

namespace installer {

// The services an installation uses from the system; tests replace them.
struct InstallerEnvironment {
  base::Clock* clock = nullptr;                     // Null: the real clock.
  base::OsFacts* os_facts = nullptr;                // Null: the real system.
  download::HttpClientFactory* http = nullptr;      // Null: WinINet.
  stats::StatReporter* reporter = nullptr;          // Null: the installer's own.
  // Fetch the browser's side data (variations seed and the like) while the
  // installation runs; needs a brand and parameters. Off for tests that want
  // no network traffic besides the installation's own.
  bool background_tasks = false;
};

// One installation: obtains the setup archive, verifies it and runs the
// setup, directly or through the elevated child. The window thread may call
// Stop, Proceed, MarkOkButtonPressed and the option setters; everything else
// runs on the installation thread (or the caller's, for RunSync).
class Installer {
 public:
  // `observer`, `brand` and `params` are not owned and may be null.
  Installer(setup::InstallObserver* observer, const distribution::BrandInfo* brand,
            const distribution::DistribInfoParams* params, const base::CommandLine& command_line,
            const InstallerEnvironment& environment);
  // Stops the installation thread (60 s, then terminates it), ends the
  // elevated child and then the background tasks.
  virtual ~Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

  // Starts the run on its own thread; it downloads at once and waits for
  // Proceed before the setup. False when the thread cannot be started.
  bool RunAsync();
  // The whole run on the calling thread, without waiting for a go-ahead.
  void RunSync();
  // The user pressed the install button.
  void MarkOkButtonPressed();
  // The installation may go on after the download.
  void Proceed();
  // Ends the run: signals the stop event and waits up to 60 s for the
  // thread. A download gives up its network call at once, so the thread ends
  // within moments (after the installation-finished report). False on
  // timeout. May be called from any thread but the installation thread
  // itself, which would wait for itself.
  bool Stop();
  // Ignored on Windows 8 and 8.1, which decide the default browser themselves.
  void SetMakeDefault(bool value);
  // Whether the setup may rely on the shell's default-browser interface:
  // true without a probe up to Windows 7, false on Windows 8 and 8.1, and on
  // Windows 10 and later the answer of a probe in a child process, whose
  // value the setup then receives. Taken once; later calls answer the first
  // result. Blocks for up to 3 seconds, so the window takes it before its
  // first screen; call it before RunAsync or on the installation thread.
  bool CheckInterfaceAvailability();
  void IncrementCancelCount() { cancel_count_.fetch_add(1); }

  // A new unique empty file in the temporary directory; empty on failure.
  virtual std::wstring GetModulePath();
  // Downloads the setup archive into `path`; 0 on success (the exit code
  // becomes 401 otherwise). With `holder`, the written file stays open in it.
  virtual int GetModule(const std::wstring& path, base::ScopedHandle* holder);
  // Creates the file and runs DownloadModule: 1 when the file cannot be made.
  int DownloadOrExtractModule(const std::wstring& path, bool* downloaded,
                              base::ScopedHandle* holder);
  // The attempt loop: 0 success, 2 failure (attempts used up or stopped),
  // 3 when opening the URL hit a missing CryptoPro library.
  virtual int DownloadModule(HANDLE file, const base::CommandLine& command_line);
  // A versioned setup URL may be used while the installer file is younger
  // than 30 days.
  bool IsVersionedSetupUrlAllowed(const std::string& url);
  // One attempt without retries or progress (for the final report).
  virtual bool Download(const std::wstring& url, download::DownloadSink* sink,
                        std::wstring* error, std::wstring* redirect_url);

  // Verifies the archive against the trust list it carries.
  virtual bool VerifyArchive(const std::wstring& path);
  virtual bool VerifyWithTrustJson(const std::wstring& path, const std::string& trust_json);
  virtual bool VerifyModuleWithTrust(const std::wstring& path,
                                     const download::TrustedCertificates& certificates);

  // Runs the setup directly and waits; the exit code becomes the setup's.
  virtual bool RunModule(const std::wstring& archive_path, const base::CommandLine& command_line);
  // Releases the elevated child and waits for it.
  virtual bool RunModuleInElevatedProcess();
  // Opens the archive for reading and execution and keeps writers out while
  // the handle lives; invalid when the file cannot be opened so.
  static base::ScopedHandle LockArchive(const std::wstring& path);
  // Copies the locked archive into `folder`, a new private folder under the
  // system's temporary folder, for an elevated process to run: nobody else
  // can change it there or leave DLLs beside it. Answers the copy's path, or
  // empty (logged) on failure.
  static std::wstring CopyToPrivateFolder(HANDLE lock, const std::wstring& archive,
                                          base::PrivateDirectory* folder);
  // The setup command line of a direct run (or the elevated child's template).
  base::CommandLine BuildSetupCommandLine(const std::wstring& archive_path, bool direct_run) const;

  int exit_code() const { return exit_code_; }
  // The run's statistics; the window sends its clicks through it.
  stats::StatReporter* reporter() const { return reporter_; }
  void set_exit_code(int code) { exit_code_ = code; }
  int64_t download_duration_us() const { return download_duration_us_; }
  HANDLE stop_event() const { return stop_event_.handle(); }
  void set_temp_dir(std::wstring dir) { temp_dir_ = std::move(dir); }
  bool make_default() const { return make_default_; }
  void set_send_statistics(bool value) { send_statistics_ = value; }
  void set_create_quova_shortcut(bool value) { create_quova_shortcut_ = value; }
  void set_elevation_declined(bool value) { elevation_declined_ = value; }
  // Takes the elevated child that the elevation policy started.
  void set_elevated_process(std::unique_ptr<setup::ElevatedInstallerProcess> process);
  // Restarts the installer elevated behind the UAC prompt and keeps the
  // waiting child for the setup step. Window thread, before Proceed; the
  // prompt's owner window belongs to that thread. A refusal makes the setup
  // run with `disable-uac`. Answers whether the child started. An empty
  // `shell_execute` is the real ShellExecuteExW.
  bool RestartAsAdmin(const setup::ShellExecuteFunction& shell_execute = {});
  const std::wstring& run_id() const { return run_id_; }
  const std::wstring& installer_data_path() const { return installer_data_path_; }
  const std::wstring& clids_file_path() const { return clids_file_path_; }
  const std::wstring& clids_searchband_file_path() const { return clids_searchband_file_path_; }
  const std::wstring& website_icon_file_path() const { return website_icon_file_path_; }

  static constexpr size_t kSideFileCount = 4;
  const std::wstring& archive_path() const { return archive_path_; }

 protected:
  // The run: side files, InstallBrowser, clean-up, the browser wait, the report.
  void Install();
  // Answers true on failure.
  bool InstallBrowser();

  // One download attempt with progress and details.
  virtual bool DownloadWithDetails(const std::wstring& url, download::DownloadSink* sink,
                                   download::DownloadProgress* progress,
                                   download::DownloadUrlResult* result);
  // Waits between attempts; a stop request ends the wait at once.
  virtual void PauseBetweenAttempts();
  // Empties the archive file before a start from byte 0.
  void ResetSink(download::DownloadSink* sink);
  // The creation time of a file in microseconds since 1601; false on failure.
  virtual bool GetModuleCreationTime(const std::wstring& path, int64_t* time);
  virtual std::unique_ptr<download::X64Experiment> CreateX64Experiment();
  // This installer carries no setup archive of its own.
  virtual bool ExtractBrowserSetupResource() { return false; }
  // Looks for the running browser's message window.
  virtual bool IsBrowserRunning();

  // Writes resource `id` of this executable ("BIN"; absent counts as empty)
  // to `path`; true when all of it was written.
  virtual bool WriteResourceToFile(int id, const std::wstring& path);
  // Gives each side file without a path one in `data_dir`, written from its
  // resource; with an empty `data_dir` such files keep an empty path.
  void WriteInstallerDataFiles(const std::wstring& data_dir);
  // Records the side-file paths; an empty path removes its record.
  void StoreInstallerDataInRegistry();

  // RunModule records whether the setup process could be started at all.
  void set_setup_process_created(bool value) { setup_process_created_ = value; }
  setup::InstallObserver* observer() const { return observer_; }
  base::Clock* clock() const { return clock_; }

 private:
  class ProgressAdapter;
  static unsigned __stdcall ThreadMain(void* self);

  // The run's third step: language, side files and brand into the registry.
  void WriteSideFiles();
  // After a success the setup owns the side files; their records go.
  void RemoveSideFilesRecords();
  // The base parameters every statistics event carries.
  void SetUpStatistics();
  // The last request of a run, sent synchronously to the storage host.
  void ReportInstallationFinished(bool success);
  // Hands the archive and the side files to the elevated child through the
  // shared section; false when a value does not fit.
  bool WriteDelayedParamsForChild();
  // The four side-file paths in the order they are handled.
  std::array<std::wstring*, kSideFileCount> SideFilePaths();

  setup::InstallObserver* observer_;
  const distribution::BrandInfo* brand_;
  const distribution::DistribInfoParams* params_;
  const base::CommandLine& command_line_;
  base::Clock* clock_;
  base::OsFacts* os_facts_;
  download::HttpClientFactory* http_;
  std::unique_ptr<download::AsyncInstallTasks> background_tasks_;
  stats::StatReporter* reporter_;
  std::unique_ptr<stats::StatReporter> owned_reporter_;

  bool make_default_ = false;
  bool send_statistics_ = false;
  bool create_quova_shortcut_ = false;
  std::wstring data_dir_;
  std::wstring installer_data_path_;
  std::wstring clids_file_path_;
  std::wstring clids_searchband_file_path_;
  std::wstring website_icon_file_path_;
  std::wstring run_id_;
  std::wstring temp_dir_;
  // Read by the window thread after a stop that may have timed out.
  std::atomic<int> exit_code_;
  base::ScopedHandle thread_;
  base::ManualResetEvent stop_event_;
  base::ManualResetEvent go_event_;
  std::atomic<int> cancel_count_{0};
  int64_t download_duration_us_ = 0;
  int64_t setup_duration_us_ = 0;
  int64_t total_duration_us_ = 0;
  std::atomic<int64_t> ok_button_time_{0};
  std::atomic<int64_t> install_start_time_{0};
  bool interface_checked_ = false;
  bool interface_available_ = true;
  std::optional<uint32_t> interface_check_value_;  // Absent when not taken.
  bool setup_run_result_ = true;
  bool setup_process_created_ = false;  // Set by RunModule.
  int failure_code_ = 1;  // What the observer hears of a failed run.
  std::unique_ptr<setup::ElevatedInstallerProcess> elevated_process_;
  bool elevation_declined_ = false;
  std::wstring archive_path_;
  std::wstring override_partner_package_path_;
};

}  // namespace installer

#endif  // INSTALLER_INSTALLER_H_
