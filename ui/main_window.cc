#include "ui/main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <objidl.h>

#include <gdiplus.h>

#include <cmath>

#include "base/clock.h"
#include "base/os_facts.h"
#include "base/string_conv.h"
#include "base/test_hooks.h"
#include "base/logging.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "base/command_line.h"
#include "installer/installer.h"
#include "base/installer_switches.h"
#include "setup/elevation_policy.h"
#include "stats/dialog_events.h"
#include "ui/display_scale.h"
#include "ui/licence_text.h"
#include "ui/links.h"
#include "ui/secondary_dialog.h"
#include "ui/skin.h"
#include "ui/slide_image.h"
#include "ui/slide_set.h"
#include "ui/string_table.h"

namespace ui {

namespace {

constexpr int kMainTemplate = 129;
constexpr UINT_PTR kSlideTimer = 100;
constexpr UINT kSlideTimerPeriodMs = 20;
constexpr unsigned kWindowTitleString = 436;
constexpr unsigned kLicenceString = 410;

constexpr int kFirstScreenControls[] = {kInstallButton,      kCancelButton,    kTitle,
                                        kLicenceLink,        kDefaultCheckbox, kStatisticsCheckbox,
                                        kTaskbarCheckbox,    kPrivacyLink,     kLicencePlain};

// Lets the setup process and the browser, which may run with other rights,
// post the registered messages to this window.
void AllowMessage(HWND dialog, UINT message) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  using Filter = BOOL(WINAPI*)(UINT, DWORD);
  if (auto filter_ex = reinterpret_cast<FilterEx>(
          ::GetProcAddress(user32, "ChangeWindowMessageFilterEx"))) {
    filter_ex(dialog, message, 1 /* MSGFLT_ALLOW */, nullptr);
  } else if (auto filter = reinterpret_cast<Filter>(
                 ::GetProcAddress(user32, "ChangeWindowMessageFilter"))) {
    filter(message, 1 /* MSGFLT_ADD */);
  }
}

bool IsWindows8(const base::OsVersion& os) {
  return os.major == 6 && (os.minor == 2 || os.minor == 3);
}

int64_t NowMs() {
  return base::DefaultClock()->NowMicroseconds() / 1000;
}

// The bottom of the progress screen, darkened over the slides so that the
// light percent and licence texts stay readable on any picture (design
// pixels).
constexpr int kSlideShadeTop = 280;

}  // namespace

RegisteredMessages RegisterInstallerMessages() {
  RegisteredMessages messages;
  messages.install_progress = ::RegisterWindowMessageW(L"tarnix.lite.set_install_progress");
  messages.import_progress = ::RegisterWindowMessageW(L"tarnix.lite.set_import_progress");
  messages.close_window = ::RegisterWindowMessageW(L"tarnix.lite.close_window");
  messages.higher_version = ::RegisterWindowMessageW(L"tarnix.higher_version_exist");
  return messages;
}

int PercentForSetupStage(WPARAM stage) {
  return stage == 5 ? 75 : stage == 7 ? 79 : 0;
}

int PercentForImport(WPARAM import_percent) {
  const WPARAM clamped = import_percent > 100 ? 100 : import_percent;
  return 80 + static_cast<int>(0.2 * static_cast<double>(clamped));
}

int PercentForDownload(float fraction) {
  if (!(fraction >= 0.0f))
    fraction = 0.0f;
  if (fraction > 1.0f)
    fraction = 1.0f;
  return 5 + static_cast<int>(35.0f * fraction);
}

MainWindow::MainWindow(const distribution::BrandInfo& brand,
                       const distribution::DistribInfoParams& params,
                       const base::CommandLine& command_line, bool start_installation)
    : brand_(brand),
      params_(params),
      command_line_(command_line),
      options_(ReadWindowOptions(params)),
      variant_(LayoutVariant(options_, brand)),
      layout_(LayoutFor(variant_)),
      scaler_(DisplayScaleFactor(
          command_line.GetSwitchValue(base::switches::kForceDeviceScaleFactor))),
      language_id_(brand.language_id ? brand.language_id : 1033),
      messages_(RegisterInstallerMessages()),
      // First, so that its images decode while the installation starts.
      skin_(std::make_unique<Skin>(scaler_, language_id_)) {
  if (start_installation) {
    installer::InstallerEnvironment environment;
    environment.background_tasks = true;
    installer_ = std::make_unique<installer::Installer>(this, &brand, &params, command_line,
                                                        environment);
    // The check decides whether the first screen offers the default
    // checkbox. It runs before any window exists and before the download
    // starts, so no window waits on the probe and only one thread touches it.
    interface_available_ = installer_->CheckInterfaceAvailability();
    if (!installer_->RunAsync()) {
      PLOG_AS("MainWindow", ERROR) << "Cannot start the installation thread";
      // Nothing would ever move the bar: the install click shows the error.
      OnError(1);
    }
  }
}

MainWindow::~MainWindow() {
  slides_.reset();
  // The installation thread may still call the observer until it ends.
  installer_.reset();
  if (taskbar_)
    taskbar_->Release();
}

INT_PTR MainWindow::Run() {
  INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kMainTemplate),
                                     nullptr, &MainWindow::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
  // The window is gone: no one waits while the slide download ends.
  slides_.reset();
  slide_.reset();
  previous_slide_.reset();
  controls_.clear();
  dialog_ = nullptr;
  return result;
}

std::wstring MainWindow::String(unsigned id) const {
  return LoadUiString(::GetModuleHandleW(nullptr), id, language_id_);
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND dialog, UINT message, WPARAM wparam,
                                        LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    auto* self = reinterpret_cast<MainWindow*>(lparam);
    self->dialog_ = dialog;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->HandleMessage(message, wparam, lparam) : FALSE;
}

SkinControl* MainWindow::Control(int id) {
  for (const auto& control : controls_) {
    if (control->id() == id)
      return control.get();
  }
  return nullptr;
}

void MainWindow::DestroyControl(int id) {
  for (auto it = controls_.begin(); it != controls_.end();) {
    if ((*it)->id() == id)
      it = controls_.erase(it);
    else
      ++it;
  }
  // Template controls outlive their objects; they go too.
  while (HWND child = ::GetDlgItem(dialog_, id))
    ::DestroyWindow(child);
}

void MainWindow::OnInitDialog() {
  for (UINT message : {messages_.install_progress, messages_.import_progress,
                       messages_.close_window, messages_.higher_version}) {
    AllowMessage(dialog_, message);
  }
  if (setup::ElevationPoint(&params_, command_line_) == setup::kElevateAtWindowOpen)
    ElevateIfNeeded("OnInitDialog");

  ::SetWindowTextW(dialog_, String(kWindowTitleString).c_str());
  if (HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128))) {
    ::SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  CentreOnWorkArea(dialog_, scaler_.ToDevice(kWindowWidth), scaler_.ToDevice(kWindowHeight));

  using Kind = SkinControl::Kind;
  auto attach = [&](int id, Kind kind, const std::wstring& text) {
    controls_.push_back(SkinControl::Attach(dialog_, id, kind, skin_.get(), this));
    controls_.back()->SetText(text);
    return controls_.back().get();
  };
  SkinControl* install = attach(kInstallButton, Kind::kImageButton, String(404));
  install->set_image(kSkinInstallButton);
  install->set_text_color(kLightTextColor);
  install->set_font(SkinFont::kButton);
  install->set_on_click([this] { OnInstallClicked(); });
  SkinControl* cancel = attach(kCancelButton, Kind::kIconButton, String(422));
  cancel->set_image(kSkinCancelButton);
  cancel->set_on_click([this] { OnCancelClicked(); });
  // The cancel button is for the mouse; Escape is the keyboard's way.
  ::SetWindowLongPtrW(cancel->hwnd(), GWL_STYLE,
                      ::GetWindowLongPtrW(cancel->hwnd(), GWL_STYLE) & ~WS_TABSTOP);
  SkinControl* close = attach(kCloseButton, Kind::kIconButton, String(432));
  close->set_image(kSkinCloseButton);
  close->set_on_click([this] { OnCloseClicked(); });

  base::OsVersion os = base::GetOsFacts()->Version();
  SkinControl* make_default = attach(kDefaultCheckbox, Kind::kCheckbox, String(439));
  const bool default_hidden = IsWindows8(os) || !interface_available_;
  make_default->set_checked(!default_hidden && brand_.ShouldMakeBrowserDefault());
  SkinControl* statistics = attach(kStatisticsCheckbox, Kind::kCheckbox, String(438));
  statistics->set_checked(brand_.ShouldSendStatistics());
  statistics->set_font(SkinFont::kSmall);
  SkinControl* taskbar = attach(kTaskbarCheckbox, Kind::kCheckbox, String(406));
  taskbar->set_checked(true);
  for (SkinControl* checkbox : {make_default, statistics, taskbar})
    checkbox->set_on_click([this, checkbox] { OnCheckboxClicked(*checkbox); });

  SkinControl* title = attach(kTitle, Kind::kTitle, String(437) + L"\n" + String(416));
  title->set_font(SkinFont::kTitle);
  SkinControl* percent = attach(kPercentText, Kind::kLabel, L"");
  percent->set_font(SkinFont::kPercent);
  percent->set_text_color(kLightTextColor);
  SkinControl* privacy = attach(kPrivacyLink, Kind::kLink, String(427));
  privacy->set_font(SkinFont::kSmall);
  privacy->set_on_click([this] { OnLinkClicked(PrivacyLink(brand_)); });

  LayOutLicence(kLicencePlain, kLicenceLink, layout_.licence);

  if (int error = early_error_.exchange(0))
    ::PostMessageW(dialog_, kErrorMessage, static_cast<WPARAM>(error), 0);
  if (options_.skip_first_screen) {
    ShowProgressScreen();
    return;
  }
  install->Place(scaler_.ToDevice(layout_.install_button));
  cancel->Place(scaler_.ToDevice(layout_.cancel_button));
  title->Place(scaler_.ToDevice(layout_.title));
  make_default->Place(default_hidden ? RECT{} : scaler_.ToDevice(layout_.default_checkbox));
  statistics->Place(scaler_.ToDevice(layout_.statistics_checkbox));
  taskbar->Place(scaler_.ToDevice(layout_.taskbar_checkbox));
  privacy->Place(scaler_.ToDevice(layout_.privacy_link));
  ::SetFocus(install->hwnd());
}

void MainWindow::LayOutLicence(int plain_id, int link_id, const RECT& design_box) {
  const std::wstring sentence = String(kLicenceString);
  HDC dc = ::GetDC(dialog_);
  HGDIOBJ old_font = ::SelectObject(dc, skin_->Font(SkinFont::kSmall));
  auto measure = [dc](const std::wstring& text) {
    SIZE size = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(dc, &metrics);
  std::vector<TextRun> runs = LayOutLicenceText(sentence, scaler_.ToDevice(design_box),
                                                metrics.tmHeight + metrics.tmExternalLeading,
                                                measure);
  ::SelectObject(dc, old_font);
  ::ReleaseDC(dialog_, dc);

  const std::wstring url = LicenseLink(brand_);
  for (const TextRun& run : runs) {
    auto control = SkinControl::Create(dialog_, run.link ? link_id : plain_id,
                                       run.link ? SkinControl::Kind::kLink
                                                : SkinControl::Kind::kLabel,
                                       skin_.get(), this);
    control->set_font(SkinFont::kSmall);
    // The progress screen is dark: its sentence is light.
    const bool dark = plain_id == kProgressLicencePlain;
    control->set_text_color(dark ? kLightTextColor : kMutedTextColor);
    if (dark)
      control->set_link_color(kLightLinkColor);
    control->SetText(run.text);
    if (run.link)
      control->set_on_click([this, url] { OnLinkClicked(url); });
    RECT rect = run.rect;
    rect.right += 2;  // Room for the last glyph's overhang.
    control->Place(rect);
    controls_.push_back(std::move(control));
  }
}

void MainWindow::RemoveLicence(int plain_id, int link_id) {
  DestroyControl(plain_id);
  DestroyControl(link_id);
}

void MainWindow::OnInstallClicked() {
  if (install_clicked_)
    return;
  install_clicked_ = true;
  if (options_.skip_first_screen)
    return;
  if (installer_)
    installer_->MarkOkButtonPressed();
  stats::StatReporter* reporter = installer_ ? installer_->reporter() : nullptr;
  stats::ReportButtonClicked(reporter, L"install");
  stats::ReportInstallButtonClicked(reporter);
  ShowProgressScreen();
  RepaintAll();
}

void MainWindow::ShowProgressScreen() {
  if (progress_shown_)
    return;
  auto choice = [this](const DistributionChoice& given, int checkbox_id) {
    if (given.given)
      return given.value;
    SkinControl* checkbox = Control(checkbox_id);
    return checkbox && checkbox->checked() && ::IsWindowVisible(checkbox->hwnd());
  };
  const bool make_default = choice(options_.make_default, kDefaultCheckbox);
  const bool send_statistics = choice(options_.send_statistics, kStatisticsCheckbox);
  // The taskbar checkbox starts checked; a brand that does not offer it
  // leaves it so.
  SkinControl* taskbar_checkbox = Control(kTaskbarCheckbox);
  const bool taskbar = options_.taskbar_shortcut.given
                           ? options_.taskbar_shortcut.value
                           : taskbar_checkbox && taskbar_checkbox->checked();
  if (installer_) {
    installer_->SetMakeDefault(make_default);
    installer_->set_send_statistics(send_statistics);
    installer_->set_create_quova_shortcut(taskbar);
  }

  if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar_))) &&
      SUCCEEDED(taskbar_->HrInit())) {
    taskbar_->SetProgressState(dialog_, TBPF_NORMAL);
    taskbar_->SetProgressValue(dialog_, 0, 100);
  } else if (taskbar_) {
    taskbar_->Release();
    taskbar_ = nullptr;
  }

  slides_ = std::make_unique<SlideSet>(scaler_);
  slides_->Start(SlideBaseUrl(brand_));
  slide_show_.Start(NowMs());
  if (options_.skip_first_screen) {
    LayOutLicence(kProgressLicencePlain, kProgressLicenceLink, layout_.progress_licence);
    progress_licence_shown_ = true;
  }

  if (pending_error_) {
    install_clicked_ = true;
    ShowErrorScreen(pending_error_);
    return;
  }
  if (setup::ElevationPoint(&params_, command_line_) == setup::kElevateAtInstallStart)
    ElevateIfNeeded("LayoutProgressDialog");

  for (int id : kFirstScreenControls)
    DestroyControl(id);
  if (options_.keep_close_button) {
    Control(kCloseButton)->Place(scaler_.ToDevice(layout_.close_button));
  } else {
    DestroyControl(kCloseButton);
  }
  HWND bar = ::GetDlgItem(dialog_, kProgressBar);
  ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
  const RECT bar_rect = scaler_.ToDevice(layout_.progress_bar);
  ::MoveWindow(bar, bar_rect.left, bar_rect.top, bar_rect.right - bar_rect.left,
               bar_rect.bottom - bar_rect.top, TRUE);
  ::ShowWindow(bar, SW_SHOWNA);
  if (SkinControl* percent = Control(kPercentText)) {
    percent->SetText(L"0%");
    percent->Place(scaler_.ToDevice(layout_.percent_text));
  }
  ::SetTimer(dialog_, kSlideTimer, kSlideTimerPeriodMs, nullptr);

  progress_shown_ = true;
  if (installer_)
    installer_->Proceed();
}

void MainWindow::ElevateIfNeeded(const char* function) {
  if (!installer_ || !setup::NeedStartThisProcessAsAdmin(command_line_))
    return;
  setup::ShellExecuteFunction shell;
#if defined(TX_TEST_HOOKS)
  // Tests play a user who refuses the prompt.
  if (!base::TestHookValue(L"TX_TEST_ELEVATION_REFUSED").empty()) {
    shell = [](SHELLEXECUTEINFOW* info) {
      info->hInstApp = reinterpret_cast<HINSTANCE>(SE_ERR_ACCESSDENIED);
      ::SetLastError(ERROR_CANCELLED);
      return false;
    };
  }
#endif
  if (!installer_->RestartAsAdmin(shell))
    LOG_AS(function, INFO) << "Declined running the installer as admin";
}

void MainWindow::OnCancelClicked() {
  if (installer_)
    installer_->IncrementCancelCount();
  EndWith(kCancelled);
  stats::ReportButtonClicked(installer_ ? installer_->reporter() : nullptr, L"cancel");
}

void MainWindow::OnCloseClicked() {
  SecondaryDialog resume(kResumeQuestion, skin_.get(), [this](unsigned id) { return String(id); });
  if (resume.Run(dialog_, &secondary_) == SecondaryDialog::kDismiss) {
    if (installer_)
      installer_->IncrementCancelCount();
    EndWith(kCancelledFromResume);
    stats::ReportButtonClicked(installer_ ? installer_->reporter() : nullptr, L"cancel");
  }
}

void MainWindow::OpenLink(const std::wstring& url) {
  ::ShellExecuteW(dialog_, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void MainWindow::OnLinkClicked(const std::wstring& url) {
  OpenLink(url);
  stats::ReportLinkClicked(installer_ ? installer_->reporter() : nullptr, url);
}

void MainWindow::OnCheckboxClicked(const SkinControl& checkbox) {
  const wchar_t* name = checkbox.id() == kDefaultCheckbox    ? L"default"
                        : checkbox.id() == kStatisticsCheckbox ? L"sendstat"
                                                                : L"quovashortcut";
  stats::ReportCheckboxChosen(installer_ ? installer_->reporter() : nullptr, name);
}

void MainWindow::OnProgress(int percent) {
  if (!progress_shown_ || percent == percent_)
    return;
  percent_ = percent;
  if (SkinControl* text = Control(kPercentText)) {
    text->SetText(base::NumberToWString(percent) + L"%");
    const RECT rect = scaler_.ToDevice(layout_.percent_text);
    ::InvalidateRect(dialog_, &rect, FALSE);
    ::InvalidateRect(text->hwnd(), nullptr, FALSE);
  }
  ::SendDlgItemMessageW(dialog_, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  if (taskbar_)
    taskbar_->SetProgressValue(dialog_, static_cast<ULONGLONG>(percent), 100);
}

void MainWindow::OnSetupStage(WPARAM stage) {
  const int percent = PercentForSetupStage(stage);
  LOG_AS("OnInstallProgress", INFO) << "--> Installer > MainWindow::OnInstallProgress: " << percent;
  if (percent)
    OnProgress(percent);
}

void MainWindow::OnImportProgress(WPARAM value) {
  LOG_AS("OnImportProgress", INFO) << "--> Installer > MainWindow::OnImportProgress: "
                                   << static_cast<unsigned long long>(value);
  OnProgress(PercentForImport(value));
}

void MainWindow::CloseSequence() {
  ::ShowWindow(dialog_, SW_HIDE);
  EndOpenSecondary();
  LOG_AS("OnCloseWindow", INFO) << "--> Installer > MainWindow::OnCloseWindow";
  if (installer_ && !installer_->Stop()) {
    PLOG_AS("OnCloseWindow", WARNING)
        << "--> Installer > MainWindow::OnCloseWindow: WaitForInstallAsync timeout";
  }
  EndWith(kFinished);
}

void MainWindow::EndOpenSecondary() {
  if (!secondary_)
    return;
  ::ShowWindow(secondary_, SW_HIDE);
  ::EndDialog(secondary_, 1);
}

void MainWindow::OnHigherVersion() {
  ::ShowWindow(dialog_, SW_HIDE);
  EndOpenSecondary();
  SecondaryDialog notice(kHigherVersion, skin_.get(), [this](unsigned id) { return String(id); });
  notice.Run(nullptr, &secondary_);
  EndWith(kFinished);
}

void MainWindow::ShowErrorScreen(int code) {
  if (!install_clicked_ && !progress_shown_) {
    pending_error_ = code;
    return;
  }
  ::ShowWindow(dialog_, SW_HIDE);
  EndOpenSecondary();
  if (code == 3) {
    SecondaryDialog notice(kCryptoProNotice, skin_.get(),
                           [this](unsigned id) { return String(id); });
    notice.Run(nullptr, &secondary_);
  } else if (code != 0) {
    SecondaryDialog error(kInstallationError, skin_.get(),
                          [this](unsigned id) { return String(id); });
    const std::wstring url = ManualDownloadLink(brand_, params_);
    // Not one of the window's links: no link event.
    error.set_on_action([this, url] { OpenLink(url); });
    error.Run(nullptr, &secondary_);
  }
  EndWith(kFinished);
}

void MainWindow::EndWith(INT_PTR result) {
  ::KillTimer(dialog_, kSlideTimer);
  ::EndDialog(dialog_, result);
}

void MainWindow::RepaintAll() {
  ::RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void MainWindow::PaintBackground(Gdiplus::Graphics& graphics, const RECT& window_rect) {
  Gdiplus::SolidBrush white(Gdiplus::Color(255, 255, 255, 255));
  graphics.FillRectangle(&white, 0, 0, window_rect.right - window_rect.left,
                         window_rect.bottom - window_rect.top);
  DrawScreen(graphics, window_rect);
}

void MainWindow::Paint() {
  PaintWindow(dialog_, [this](Gdiplus::Graphics& graphics, const RECT& client) {
    DrawScreen(graphics, client);
  });
}

void MainWindow::DrawScreen(Gdiplus::Graphics& graphics, const RECT& part) {
  RECT client;
  ::GetClientRect(dialog_, &client);
  const RECT shifted = {-part.left, -part.top, client.right - part.left,
                        client.bottom - part.top};
  skin_->Draw(graphics, progress_shown_ ? kSkinProgressBackground : kSkinFirstBackground, 0,
              shifted);
  if (!progress_shown_ || !slide_)
    return;
  if (previous_slide_ && slide_opacity_ < 1.0f)
    DrawSlide(graphics, *previous_slide_, part, 1.0f);
  DrawSlide(graphics, *slide_, part, slide_opacity_);
  const int shade_top = scaler_.ToDevice(kSlideShadeTop) - part.top;
  const int shade_bottom = client.bottom - part.top;
  Gdiplus::LinearGradientBrush shade(Gdiplus::Point(0, shade_top - 1),
                                     Gdiplus::Point(0, shade_bottom + 1),
                                     Gdiplus::Color(0, 0, 0, 0), Gdiplus::Color(150, 0, 0, 0));
  graphics.FillRectangle(&shade, 0, shade_top, part.right - part.left, shade_bottom - shade_top);
}

void MainWindow::OnSlideTimer() {
  if (!slides_)
    return;
  const int64_t now = NowMs();
  const SlideShow::Step step = slide_show_.Advance(now, slides_->count());
  if (step.take_slide) {
    if (std::unique_ptr<Gdiplus::Bitmap> next = slides_->Slide(slide_show_.index())) {
      previous_slide_ = std::move(slide_);
      slide_ = std::move(next);
    }
  }
  // The sentence shares the first slide's time only.
  if (step.moved && progress_licence_shown_) {
    RemoveLicence(kProgressLicencePlain, kProgressLicenceLink);
    progress_licence_shown_ = false;
  }
  slide_opacity_ = slide_show_.Opacity(now);
  if (slide_opacity_ >= 1.0f)
    previous_slide_.reset();
  if (step.repaint)
    ::RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

INT_PTR MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = FALSE;
  if (HandleSkinnedDialogMessage(dialog_, message, lparam, controls_, &result))
    return result;
  if (message == kProgressMessage) {
    OnProgress(static_cast<int>(wparam));
    return TRUE;
  }
  if (message == kRemainingTimeMessage)
    return TRUE;
  if (message == kFinishMessage) {
    if (install_clicked_ || progress_shown_) {
      // An open resume question must not outlive the run: its cancel would
      // turn a finished installation into a cancelled one.
      EndOpenSecondary();
      EndWith(kFinished);
    }
    return TRUE;
  }
  if (message == kErrorMessage) {
    ShowErrorScreen(static_cast<int>(wparam));
    return TRUE;
  }
  if (message == kSetupStartedMessage) {
    DestroyControl(kCloseButton);
    return TRUE;
  }
  if (message == messages_.install_progress && message) {
    OnSetupStage(wparam);
    return TRUE;
  }
  if (message == messages_.import_progress && message) {
    OnImportProgress(wparam);
    return TRUE;
  }
  if (message == messages_.close_window && message) {
    CloseSequence();
    return TRUE;
  }
  if (message == messages_.higher_version && message) {
    OnHigherVersion();
    return TRUE;
  }
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == IDCANCEL && !lparam) {
        // Escape: counted, but the installation goes on.
        stats::ReportButtonClicked(installer_ ? installer_->reporter() : nullptr, L"cancel");
        return TRUE;
      }
      if (HIWORD(wparam) != BN_CLICKED)
        return FALSE;
      SkinControl* control = FindControl(controls_, reinterpret_cast<HWND>(lparam));
      if (control)
        control->Click();
      return control != nullptr;
    }
    case WM_TIMER:
      if (wparam == kSlideTimer)
        OnSlideTimer();
      return TRUE;
    case WM_PAINT:
      Paint();
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) {
        if (SkinControl* install = Control(kInstallButton))
          install->ClearHover();
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_CLOSE) {
        EndWith(kSystemClose);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void MainWindow::SetDownloadFraction(float fraction) {
  SetProgressPercent(PercentForDownload(fraction));
}

void MainWindow::SetProgressPercent(int percent) {
  if (HWND dialog = dialog_)
    ::PostMessageW(dialog, kProgressMessage, static_cast<WPARAM>(percent), 0);
}

void MainWindow::Finish(int result) {
  if (HWND dialog = dialog_)
    ::PostMessageW(dialog, kFinishMessage, static_cast<WPARAM>(result), 0);
}

void MainWindow::OnError(int code) {
  early_error_ = code;
  HWND dialog = dialog_;
  if (!dialog)
    return;
  if (int taken = early_error_.exchange(0))
    ::PostMessageW(dialog, kErrorMessage, static_cast<WPARAM>(taken), 0);
}

void MainWindow::OnSetupStarted() {
  if (HWND dialog = dialog_)
    ::PostMessageW(dialog, kSetupStartedMessage, 0, 0);
}

}  // namespace ui
