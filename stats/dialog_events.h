#ifndef STATS_DIALOG_EVENTS_H_
#define STATS_DIALOG_EVENTS_H_

#include <string>

namespace stats {

class StatReporter;

// The window's events. `reporter` may be null: nothing is sent.

// The progress event of the install button; the window sends it right after
// the button's dialog click.
void ReportInstallButtonClicked(StatReporter* reporter);

// One dialog click: `key` with `value`, from the "liteinstall" dialog.
void ReportDialogClick(StatReporter* reporter, const std::string& key, const std::wstring& value);
// "install" or "cancel".
void ReportButtonClicked(StatReporter* reporter, const std::wstring& button);
// The URL that was opened; empty for a link the window does not know.
void ReportLinkClicked(StatReporter* reporter, const std::wstring& url);
// "default", "sendstat" or "quovashortcut".
void ReportCheckboxChosen(StatReporter* reporter, const std::wstring& checkbox);

}  // namespace stats

#endif  // STATS_DIALOG_EVENTS_H_
