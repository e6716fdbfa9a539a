#ifndef STATS_SETUP_EVENTS_H_
#define STATS_SETUP_EVENTS_H_

#include <cstdint>
#include <string>

namespace stats {

class StatReporter;

// What the installer-started event says about the display.
struct DisplayFacts {
  double scale_factor = 1.0;  // 1.0 at 96 dpi.
  int screen_width = 0;       // Primary screen, pixels.
  int screen_height = 0;
};

// The primary screen's size and the window's scale factor, which
// `forced_scale` (the "force-device-scale-factor" value) may set.
DisplayFacts CurrentDisplayFacts(const std::wstring& forced_scale);

// The installation run's progress events. `reporter` may be null.
void ReportInstallerStarted(StatReporter* reporter, const DisplayFacts& display);
void ReportSetupArcLockError(StatReporter* reporter);
void ReportVerificationError(StatReporter* reporter);
// `elevated`: the setup runs through the elevated installer.
void ReportSetupLaunched(StatReporter* reporter, bool elevated);
// `admin_prompts_disabled`: UAC does not prompt administrators.
void ReportSetupLaunched(StatReporter* reporter, bool elevated, bool admin_prompts_disabled);
// `result_code`: the code the run recorded for the setup; `started`: false
// when the setup process could not be started at all.
void ReportSetupExited(StatReporter* reporter, bool elevated, int result_code,
                       int64_t setup_microseconds, bool started);

// Whether UAC prompts for administrators are off: the policy value
// ConsentPromptBehaviorAdmin is 0 or cannot be read.
bool AdminPromptsDisabled();

// Whether the setup's result counts as a success for the statistics.
bool SetupResultIsSuccess(bool elevated, int result_code);

}  // namespace stats

#endif  // STATS_SETUP_EVENTS_H_
