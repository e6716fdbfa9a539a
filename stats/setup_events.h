#ifndef STATS_SETUP_EVENTS_H_
#define STATS_SETUP_EVENTS_H_

#include <cstdint>

namespace stats {

class StatReporter;

// The installation run's progress events. `reporter` may be null.
void ReportInstallerStarted(StatReporter* reporter);
void ReportSetupArcLockError(StatReporter* reporter);
void ReportVerificationError(StatReporter* reporter);
// `elevated`: the setup runs through the elevated installer.
void ReportSetupLaunched(StatReporter* reporter, bool elevated);
// `result_code`: the code the run recorded for the setup; `started`: false
// when the setup process could not be started at all.
void ReportSetupExited(StatReporter* reporter, bool elevated, int result_code,
                       int64_t setup_microseconds, bool started);

// Whether the setup's result counts as a success for the statistics.
bool SetupResultIsSuccess(bool elevated, int result_code);

}  // namespace stats

#endif  // STATS_SETUP_EVENTS_H_
