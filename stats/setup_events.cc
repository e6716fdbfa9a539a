#include "stats/setup_events.h"

#include <windows.h>

#include "base/rounding.h"
#include <string>

#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "stats/install_event.h"
#include "stats/stat_reporter.h"
#include "ui/display_scale.h"

namespace stats {

namespace {

std::wstring SetupAction(StatReporter* reporter) {
  return reporter && !reporter->GetOldVersion().empty() ? L"update" : L"setup";
}

}  // namespace

bool AdminPromptsDisabled() {
  base::ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 0,
                      KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
    return true;
  }
  DWORD value = 0, size = sizeof(value), type = 0;
  if (::RegQueryValueExW(key.get(), L"ConsentPromptBehaviorAdmin", nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return true;
  }
  return value == 0;
}

DisplayFacts CurrentDisplayFacts(const std::wstring& forced_scale) {
  DisplayFacts display;
  display.scale_factor = ui::DisplayScaleFactor(forced_scale);
  display.screen_width = ::GetSystemMetrics(SM_CXSCREEN);
  display.screen_height = ::GetSystemMetrics(SM_CYSCREEN);
  return display;
}

void ReportInstallerStarted(StatReporter* reporter, const DisplayFacts& display) {
  std::wstring resolution = base::NumberToWString(display.screen_width) + L"x" +
                           base::NumberToWString(display.screen_height);
  std::wstring dpi = base::NumberToWString(base::RoundToLong(display.scale_factor * 100.0));
  SendIfReporting(reporter, {{"action", L"installer_started"},
                             {"dpi", dpi},
                             {"resolution", resolution}});
}

void ReportSetupArcLockError(StatReporter* reporter) {
  SendIfReporting(reporter, {{"action", L"setup_arc_lock"}, {"stage", L"error"}});
}

void ReportVerificationError(StatReporter* reporter) {
  SendIfReporting(reporter, {{"action", L"verification"}, {"stage", L"error"}});
}

void ReportSetupLaunched(StatReporter* reporter, bool elevated) {
  if (reporter)
    ReportSetupLaunched(reporter, elevated, AdminPromptsDisabled());
}

void ReportSetupLaunched(StatReporter* reporter, bool elevated, bool admin_prompts_disabled) {
  if (!reporter)
    return;
  const wchar_t* uac = admin_prompts_disabled ? L"100" : elevated ? L"1" : L"0";
  SendIfReporting(reporter, {{"action", SetupAction(reporter)},
                             {"stage", L"setup_exe_launched"},
                             {"uac", uac}});
}

bool SetupResultIsSuccess(bool elevated, int result_code) {
  if (elevated)
    return result_code == 400;
  return result_code == 1 || result_code == 3 || result_code == 5;
}

void ReportSetupExited(StatReporter* reporter, bool elevated, int result_code,
                       int64_t setup_microseconds, bool started) {
  if (!reporter)
    return;
  InstallEvent event = {{"action", SetupAction(reporter)},
                        {"stage", L"setup_exe_exited"},
                        {"setup_time", base::NumberToWString(setup_microseconds / 1000000)}};
  if (!started)
    event["error"] = L"FailedToStart";
  else if (!SetupResultIsSuccess(elevated, result_code))
    event["error"] = base::NumberToWString(result_code);
  SendIfReporting(reporter, event);
}

}  // namespace stats
