#ifndef STATS_INSTALLATION_REPORT_H_
#define STATS_INSTALLATION_REPORT_H_

#include <cstdint>
#include <string>

namespace stats {

// How an installation run ended, for the installation-finished report.
// Intervals are monotonic-clock microseconds; 0 means not measured.
struct InstallationOutcome {
  std::wstring run_id;      // The run's GUID without braces.
  int cancel_count = 0;     // How often the user cancelled.
  bool success = false;
  int64_t total_us = 0;     // Set only when the setup run succeeded.
  int64_t download_us = 0;  // Obtaining the setup archive.
  int64_t install_us = 0;   // From the verified archive to the setup's end.
};

// The report URL on the storage host: the result ("cancelled" once the user
// cancelled, whatever the outcome), the total time, and the download and
// install times when they were measured, all in whole seconds.
std::wstring InstallationReportUrl(const InstallationOutcome& outcome);

}  // namespace stats

#endif  // STATS_INSTALLATION_REPORT_H_
