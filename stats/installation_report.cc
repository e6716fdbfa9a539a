#include "stats/installation_report.h"

#include "base/string_conv.h"
#include "build_config.h"

namespace stats {

namespace {

std::wstring Seconds(int64_t microseconds) {
  return base::NumberToWString(microseconds / 1000000);
}

}  // namespace

std::wstring InstallationReportUrl(const InstallationOutcome& outcome) {
  const wchar_t* result =
      outcome.cancel_count > 0 ? L"cancelled" : outcome.success ? L"success" : L"failed";
  std::wstring url = std::wstring(L"https://") + TX_STORAGE_HOST + L"/get/browser/install?ui=" +
                     outcome.run_id + L"&result=" + result + L"&time=" +
                     Seconds(outcome.total_us);
  // Presence follows the microseconds: half a second is reported as 0.
  if (outcome.download_us != 0)
    url += L"&download_time=" + Seconds(outcome.download_us);
  if (outcome.install_us != 0)
    url += L"&install_time=" + Seconds(outcome.install_us);
  return url;
}

}  // namespace stats
