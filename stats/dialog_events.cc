#include "stats/dialog_events.h"

#include "stats/install_event.h"
#include "stats/stat_reporter.h"

namespace stats {

void ReportInstallButtonClicked(StatReporter* reporter) {
  SendIfReporting(reporter, {{"action", L"install_browser_button_clicked"}});
}

void ReportDialogClick(StatReporter* reporter, const std::string& key, const std::wstring& value) {
  if (reporter)
    reporter->SendDialogEvent({{key, value}, {"dialog_window", L"liteinstall"}});
}

void ReportButtonClicked(StatReporter* reporter, const std::wstring& button) {
  ReportDialogClick(reporter, "clicked_button", button);
}

void ReportLinkClicked(StatReporter* reporter, const std::wstring& url) {
  ReportDialogClick(reporter, "clicked_link", url);
}

void ReportCheckboxChosen(StatReporter* reporter, const std::wstring& checkbox) {
  // The backend's key is spelled this way.
  ReportDialogClick(reporter, "choosen_checkbox", checkbox);
}

}  // namespace stats
