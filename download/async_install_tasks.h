#ifndef DOWNLOAD_ASYNC_INSTALL_TASKS_H_
#define DOWNLOAD_ASYNC_INSTALL_TASKS_H_

#include <windows.h>

#include <string>

#include "base/task_thread.h"
#include "base/waitable_event.h"

namespace distribution {
class DistribInfoParams;
struct BrandInfo;
}  // namespace distribution

namespace download {

class HttpClientFactory;

// Which side-data tasks the distribution parameters ask for: "vup" and
// "abtup" run unless set to something else than "1", "scup" only when "1",
// and "pwexp" names the wallpaper experiment (empty: no wallpaper task).
struct InstallTaskSwitches {
  bool variations = false;
  bool abt = false;
  bool server_config = false;
  std::string wallpaper_experiment;
};
InstallTaskSwitches ReadInstallTaskSwitches(const distribution::DistribInfoParams& params);

// "/configs/all_zip" on the experiments host with "brandID" and "partnerID"
// (each only when non-empty, unescaped); no query at all when both are empty.
std::string ServerConfigUrl(const std::string& brand_id, const std::string& partner_id);

// Fetches the browser's side data (variations seed, A/B-test configuration,
// server configuration bundle, wallpaper bundle) on a worker thread while the
// installation goes on. Each file gets a reserved name in the temporary
// directory at construction; the setup receives the names whether or not the
// files were written. Failures are logged and never reach the installation.
// Created and destroyed on one thread; the paths may be read from any thread.
class AsyncInstallTasks {
 public:
  // Decides the tasks and starts them. `brand` and `params` are read here
  // only. `factory` may be null (WinINet); it must outlive the object.
  AsyncInstallTasks(const distribution::BrandInfo& brand,
                    const distribution::DistribInfoParams& params,
                    HttpClientFactory* factory = nullptr);
  // Stops a running download, waits for the worker without a time limit and
  // deletes the variations, A/B-test and server-configuration files; the
  // wallpaper bundle stays for the browser.
  ~AsyncInstallTasks();
  AsyncInstallTasks(const AsyncInstallTasks&) = delete;
  AsyncInstallTasks& operator=(const AsyncInstallTasks&) = delete;

  // Empty when the task is off or no name could be reserved.
  const std::wstring& variations_path() const { return variations_path_; }
  const std::wstring& abt_path() const { return abt_path_; }
  const std::wstring& server_config_path() const { return server_config_path_; }
  const std::wstring& wallpaper_path() const { return wallpaper_path_; }

 private:
  void Schedule(base::TaskThread::Task task);

  std::wstring variations_path_;
  std::wstring abt_path_;
  std::wstring server_config_path_;
  std::wstring wallpaper_path_;
  base::ManualResetEvent stop_event_;
  base::TaskThread thread_;
  bool scheduled_ = false;
};

}  // namespace download

#endif  // DOWNLOAD_ASYNC_INSTALL_TASKS_H_
