#ifndef UI_MAIN_WINDOW_H_
#define UI_MAIN_WINDOW_H_

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "setup/install_observer.h"
#include "ui/layout.h"
#include "ui/scaler.h"
#include "ui/skin_control.h"
#include "ui/slide_show.h"
#include "ui/window_options.h"

struct ITaskbarList3;

namespace base {
class CommandLine;
}  // namespace base
namespace distribution {
class DistribInfoParams;
struct BrandInfo;
}  // namespace distribution
namespace installer {
class Installer;
}  // namespace installer

namespace ui {

class Skin;
class SlideSet;

// The registered messages the setup process and the browser post to the
// window whose handle they received in "progress-window".
struct RegisteredMessages {
  UINT install_progress = 0;  // "tarnix.lite.set_install_progress"
  UINT import_progress = 0;   // "tarnix.lite.set_import_progress"
  UINT close_window = 0;      // "tarnix.lite.close_window"
  UINT higher_version = 0;    // "tarnix.higher_version_exist"
};
RegisteredMessages RegisterInstallerMessages();

// The percent the progress bar shows for a setup stage (0: the stage
// changes nothing) and for the browser's import progress.
int PercentForSetupStage(WPARAM stage);
int PercentForImport(WPARAM import_percent);
int PercentForDownload(float fraction);

// The installer's window: the first screen, then the progress screen, run
// as a modal dialog (template 129) on the thread that calls Run. It owns the
// installation, which starts on its own thread when the window object is
// made, and it is the installation's observer.
class MainWindow : public setup::InstallObserver, public ControlBackground {
 public:
  // Dialog results.
  static constexpr INT_PTR kFinished = 1;
  static constexpr INT_PTR kCancelledFromResume = 1009;
  static constexpr INT_PTR kCancelled = 1010;
  static constexpr INT_PTR kSystemClose = 2;

  // Private messages into the window thread.
  static constexpr UINT kProgressMessage = WM_APP + 100;
  static constexpr UINT kRemainingTimeMessage = WM_APP + 101;
  static constexpr UINT kFinishMessage = WM_APP + 102;
  static constexpr UINT kErrorMessage = WM_APP + 103;
  static constexpr UINT kSetupStartedMessage = WM_APP + 104;

  // `brand`, `params` and `command_line` are not owned and must outlive the
  // window. With `start_installation`, the installation thread starts now.
  MainWindow(const distribution::BrandInfo& brand,
             const distribution::DistribInfoParams& params,
             const base::CommandLine& command_line, bool start_installation);
  // Destroys the installation, which stops its thread (60 s at most).
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Shows the window modally; answers the dialog result.
  INT_PTR Run();
  // The installation; null when it was not started.
  installer::Installer* installer() const { return installer_.get(); }

  // InstallObserver, called on the installation thread: everything visible
  // is posted to the window thread.
  void SetDownloadFraction(float fraction) override;
  void OnSlowDownload() override {}
  void SetRemainingTime(int32_t, int32_t) override {}
  void Finish(int result) override;
  void OnError(int code) override;
  HWND GetWindowHandle() override { return dialog_; }
  void SetProgressPercent(int percent) override;
  void OnSetupStarted() override;

  // ControlBackground.
  void PaintBackground(Gdiplus::Graphics& graphics, const RECT& window_rect) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void OnInitDialog();
  void OnInstallClicked();
  void ShowProgressScreen();
  void OnCancelClicked();
  void OnCloseClicked();
  void OpenLink(const std::wstring& url);
  void OnLinkClicked(const std::wstring& url);
  void OnCheckboxClicked(const SkinControl& checkbox);
  void OnProgress(int percent);
  void OnSetupStage(WPARAM stage);
  void OnImportProgress(WPARAM value);
  void CloseSequence();
  // Hides a secondary dialog that is open (the resume question) and ends it
  // as "resume": what comes next decides the window's result, and the
  // question's own loop must not outlive the window.
  void EndOpenSecondary();
  void OnHigherVersion();
  void ShowErrorScreen(int code);
  void EndWith(INT_PTR result);
  void Paint();
  // Draws the part `part` (window coordinates) of what the window shows
  // behind its controls at the top left of `graphics`.
  void DrawScreen(Gdiplus::Graphics& graphics, const RECT& part);
  // The window timer: the slide show's next step.
  void OnSlideTimer();
  std::wstring String(unsigned id) const;
  void LayOutLicence(int plain_id, int link_id, const RECT& design_box);
  void RemoveLicence(int plain_id, int link_id);
  void RepaintAll();
  SkinControl* Control(int id);
  void DestroyControl(int id);
  // Restarts the installer as administrator when it must; logs a failure.
  void ElevateIfNeeded(const char* function);

  const distribution::BrandInfo& brand_;
  const distribution::DistribInfoParams& params_;
  const base::CommandLine& command_line_;
  WindowOptions options_;
  int variant_;
  Layout layout_;
  Scaler scaler_;
  int language_id_;
  RegisteredMessages messages_;
  std::unique_ptr<Skin> skin_;
  std::unique_ptr<installer::Installer> installer_;
  // Whether the setup can make the browser the default (the installation's
  // check); without it the default checkbox is not offered.
  bool interface_available_ = true;
  // Read by the installation thread, which posts to it.
  std::atomic<HWND> dialog_{nullptr};
  // An error that came before the window existed; whichever thread takes it
  // out of here posts it, exactly once.
  std::atomic<int> early_error_{0};
  HWND secondary_ = nullptr;  // The secondary dialog while it is shown.
  std::vector<std::unique_ptr<SkinControl>> controls_;
  ITaskbarList3* taskbar_ = nullptr;
  // The slides and the show, from the progress screen on.
  std::unique_ptr<SlideSet> slides_;
  SlideShow slide_show_;
  std::unique_ptr<Gdiplus::Bitmap> slide_;           // On screen.
  std::unique_ptr<Gdiplus::Bitmap> previous_slide_;  // Under it while it fades in.
  float slide_opacity_ = 0.0f;
  bool install_clicked_ = false;
  bool progress_shown_ = false;
  bool progress_licence_shown_ = false;
  int pending_error_ = 0;  // An error that came before the install click.
  int percent_ = 0;
};

}  // namespace ui

#endif  // UI_MAIN_WINDOW_H_
