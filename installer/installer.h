#ifndef INSTALLER_INSTALLER_H_
#define INSTALLER_INSTALLER_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "base/waitable_event.h"
#include "download/downloader.h"
#include "download/setup_url_list.h"

namespace base {
class Clock;
class OsFacts;
}  // namespace base
namespace distribution {
class DistribInfoParams;
struct BrandInfo;
}  // namespace distribution
namespace download {
class X64Experiment;
}
namespace stats {
class StatReporter;
}

namespace installer {

class CommandLine;
class InstallObserver;

// The services an installation uses from the system; tests replace them.
struct InstallerEnvironment {
  base::Clock* clock = nullptr;                     // Null: the real clock.
  base::OsFacts* os_facts = nullptr;                // Null: the real system.
  download::HttpClientFactory* http = nullptr;      // Null: WinINet.
  stats::StatReporter* reporter = nullptr;          // Null: events are not sent.
};

// One installation: obtains the setup archive and runs the setup. Owned and
// driven by the entry point or the window.
class Installer {
 public:
  // `observer`, `brand` and `params` are not owned and may be null.
  Installer(InstallObserver* observer, const distribution::BrandInfo* brand,
            const distribution::DistribInfoParams* params, const CommandLine& command_line,
            const InstallerEnvironment& environment);
  virtual ~Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

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
  virtual int DownloadModule(HANDLE file, const CommandLine& command_line);
  // A versioned setup URL may be used while the installer file is younger
  // than 30 days.
  bool IsVersionedSetupUrlAllowed(const std::string& url);
  // One attempt without retries or progress (for the final report).
  virtual bool Download(const std::wstring& url, download::DownloadSink* sink,
                        std::wstring* error, std::wstring* redirect_url);

  // May be called from any thread.
  void Stop() { stop_event_.Signal(); }
  void IncrementCancelCount() { cancel_count_.fetch_add(1); }

  int exit_code() const { return exit_code_; }
  void set_exit_code(int code) { exit_code_ = code; }
  int64_t download_duration_us() const { return download_duration_us_; }
  HANDLE stop_event() const { return stop_event_.handle(); }
  void set_temp_dir(std::wstring dir) { temp_dir_ = std::move(dir); }

 protected:
  // One download attempt with progress and details.
  virtual bool DownloadWithDetails(const std::wstring& url, download::DownloadSink* sink,
                                   download::DownloadProgress* progress,
                                   download::DownloadUrlResult* result);
  // Waits between attempts; a stop request ends the wait at once.
  virtual void PauseBetweenAttempts();
  // The creation time of a file in microseconds since 1601; false on failure.
  virtual bool GetModuleCreationTime(const std::wstring& path, int64_t* time);
  virtual std::unique_ptr<download::X64Experiment> CreateX64Experiment();

  InstallObserver* observer() const { return observer_; }
  base::Clock* clock() const { return clock_; }

 private:
  class ProgressAdapter;

  InstallObserver* observer_;
  const distribution::BrandInfo* brand_;
  const distribution::DistribInfoParams* params_;
  const CommandLine& command_line_;
  base::Clock* clock_;
  base::OsFacts* os_facts_;
  download::HttpClientFactory* http_;
  stats::StatReporter* reporter_;

  std::wstring temp_dir_;
  int exit_code_;
  int64_t download_duration_us_ = 0;
  base::ManualResetEvent stop_event_;
  base::ManualResetEvent go_event_;
  std::atomic<int> cancel_count_{0};
};

}  // namespace installer

#endif  // INSTALLER_INSTALLER_H_
