#include "download/async_install_tasks.h"

#include "base/file_util.h"
#include "base/string_conv.h"
#include "build_config.h"
#include "base/logging.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "download/downloader.h"
#include "download/variations.h"

namespace download {

namespace {

// A key that is absent reads as `absent_value`.
std::string SwitchValue(const distribution::DistribInfoParams& params, const char* key,
                        const char* absent_value) {
  std::string value;
  if (!params.Get(key, &value))
    value = absent_value;
  return value;
}

// The task writes the file later; only a unique name is taken now. The
// prefixes keep these names apart from the setup archive's.
std::wstring ReserveTemporaryName(const wchar_t* prefix) {
  std::wstring dir = base::GetTempDirectory();
  wchar_t name[MAX_PATH];
  if (dir.empty() || !::GetTempFileNameW(dir.c_str(), prefix, 0, name)) {
    PLOG_AS("AsyncInstallTasks", WARNING) << "Cannot reserve a temporary file name";
    return {};
  }
  ::DeleteFileW(name);
  return name;
}

// `what` names the bundle in the log.
void DownloadBundle(const char* what, const std::string& url, const std::wstring& path,
                    HANDLE stop_event, HttpClientFactory* factory) {
  Downloader downloader(factory);
  if (!downloader.DownloadToFile(url, path, stop_event))
    LOG(ERROR) << "Failed to download " << what << ": " << downloader.error();
}

}  // namespace

InstallTaskSwitches ReadInstallTaskSwitches(const distribution::DistribInfoParams& params) {
  InstallTaskSwitches switches;
  switches.variations = SwitchValue(params, "vup", "1") == "1";
  switches.abt = SwitchValue(params, "abtup", "1") == "1";
  switches.server_config = SwitchValue(params, "scup", "") == "1";
  switches.wallpaper_experiment = SwitchValue(params, "pwexp", "");
  return switches;
}

std::string ServerConfigUrl(const std::string& brand_id, const std::string& partner_id) {
  std::string query;
  if (!brand_id.empty())
    query = "brandID=" + brand_id;
  if (!partner_id.empty())
    query += (query.empty() ? "" : "&") + std::string("partnerID=") + partner_id;
  std::string url = "https://" + base::NarrowLow8(TX_EXPERIMENTS_HOST) + "/configs/all_zip";
  if (!query.empty())
    url += "?" + query;
  return url;
}

AsyncInstallTasks::AsyncInstallTasks(const distribution::BrandInfo& brand,
                                     const distribution::DistribInfoParams& params,
                                     HttpClientFactory* factory) {
  InstallTaskSwitches switches = ReadInstallTaskSwitches(params);
  if (switches.variations)
    variations_path_ = ReserveTemporaryName(L"vup");
  if (switches.abt)
    abt_path_ = ReserveTemporaryName(L"abt");
  if (switches.server_config)
    server_config_path_ = ReserveTemporaryName(L"scb");
  if (!switches.wallpaper_experiment.empty())
    wallpaper_path_ = ReserveTemporaryName(L"pwb");

  // The tasks own copies of what they need: the brand is not read later.
  HANDLE stop = stop_event_.handle();
  if (!variations_path_.empty()) {
    Schedule([url = brand.VariationsUrlWithQuery(), path = variations_path_, stop, factory] {
      DownloadAndSaveVariations(url, path, stop, factory);
    });
  }
  if (!abt_path_.empty()) {
    Schedule([url = brand.AbtUrlWithQuery(), path = abt_path_, stop, factory] {
      DownloadAndSaveVariations(url, path, stop, factory);
    });
  }
  if (!server_config_path_.empty()) {
    Schedule([url = ServerConfigUrl(brand.brand_id, brand.partner_id),
              path = server_config_path_, stop, factory] {
      DownloadBundle("server config bundle", url, path, stop, factory);
    });
  }
  if (!wallpaper_path_.empty() && !brand.preloaded_wallpapers_url.empty()) {
    Schedule([url = brand.preloaded_wallpapers_url + switches.wallpaper_experiment,
              path = wallpaper_path_, stop, factory] {
      DownloadBundle("wallpaper bundle", url, path, stop, factory);
    });
  }
  if (scheduled_ && !thread_.Start())
    PLOG_AS("InitializeThread", ERROR) << "Failed to create thread for async install tasks";
}

AsyncInstallTasks::~AsyncInstallTasks() {
  if (thread_.IsRunning()) {
    stop_event_.Signal();
    thread_.Stop(INFINITE);
  }
  for (const std::wstring* path : {&variations_path_, &abt_path_, &server_config_path_}) {
    if (!path->empty())
      ::DeleteFileW(path->c_str());
  }
}

void AsyncInstallTasks::Schedule(base::TaskThread::Task task) {
  scheduled_ = true;
  // Queued before the thread starts, so they run in the order scheduled.
  // The worker ends before this object does.
  thread_.PostTask([this, task = std::move(task)] {
    if (!stop_event_.IsSignaled())
      task();
  });
}

}  // namespace download
