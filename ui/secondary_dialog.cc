#include "ui/secondary_dialog.h"

#include <objidl.h>

#include <gdiplus.h>

#include "ui/layout.h"
#include "ui/skin.h"

namespace ui {

namespace {

constexpr int kSecondaryTemplate = 202;

}  // namespace

void CentreOnWorkArea(HWND window, int width, int height) {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  RECT area = {0, 0, width, height};
  if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
    area = monitor.rcWork;
  const int x = area.left + ((area.right - area.left) - width) / 2;
  const int y = area.top + ((area.bottom - area.top) - height) / 2;
  ::SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void PaintWindow(HWND window,
                 const std::function<void(Gdiplus::Graphics&, const RECT&)>& draw) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  RECT client;
  ::GetClientRect(window, &client);
  HDC memory = ::CreateCompatibleDC(dc);
  HBITMAP bitmap = ::CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  {
    Gdiplus::Graphics graphics(memory);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    Gdiplus::SolidBrush white(Gdiplus::Color(255, 255, 255, 255));
    graphics.FillRectangle(&white, 0, 0, client.right, client.bottom);
    draw(graphics, client);
  }
  ::BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::EndPaint(window, &paint);
}

void PaintSkinnedWindow(HWND window, const Skin& skin, SkinImage image) {
  PaintWindow(window, [&skin, image](Gdiplus::Graphics& graphics, const RECT& client) {
    skin.Draw(graphics, image, 0, client);
  });
}

SkinControl* FindControl(const std::vector<std::unique_ptr<SkinControl>>& controls, HWND hwnd) {
  for (const auto& control : controls) {
    if (control->hwnd() == hwnd)
      return control.get();
  }
  return nullptr;
}

bool HandleSkinnedDialogMessage(HWND dialog, UINT message, LPARAM lparam,
                                const std::vector<std::unique_ptr<SkinControl>>& controls,
                                INT_PTR* result) {
  switch (message) {
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      SkinControl* control = FindControl(controls, item->hwndItem);
      if (control)
        control->Draw(*item);
      *result = control != nullptr;
      return true;
    }
    case WM_ERASEBKGND:
      ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
      *result = TRUE;
      return true;
    case WM_CTLCOLORSTATIC:
      *result = reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
      return true;
    case WM_NCHITTEST:
      // The borderless dialog moves by any of its background.
      ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, HTCAPTION);
      *result = TRUE;
      return true;
    default:
      return false;
  }
}

SecondaryDialog::SecondaryDialog(const SecondaryDialogTexts& texts, const Skin* skin,
                                 std::function<std::wstring(unsigned)> load_string)
    : texts_(texts), skin_(skin), load_string_(std::move(load_string)) {}

SecondaryDialog::~SecondaryDialog() = default;

INT_PTR SecondaryDialog::Run(HWND owner, HWND* current) {
  current_ = current;
  INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr),
                                     MAKEINTRESOURCEW(kSecondaryTemplate), owner,
                                     &SecondaryDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  controls_.clear();
  dialog_ = nullptr;
  if (current_)
    *current_ = nullptr;
  current_ = nullptr;
  return result;
}

INT_PTR CALLBACK SecondaryDialog::DialogProc(HWND dialog, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    auto* self = reinterpret_cast<SecondaryDialog*>(lparam);
    self->dialog_ = dialog;
    if (self->current_)
      *self->current_ = dialog;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<SecondaryDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->HandleMessage(message, wparam, lparam) : FALSE;
}

void SecondaryDialog::OnInitDialog() {
  const Scaler& scaler = skin_->scaler();
  CentreOnWorkArea(dialog_, scaler.ToDevice(kDialogWidth), scaler.ToDevice(kDialogHeight));
  const DialogLayout layout = DialogLayoutFor(texts_.dismiss != 0 && texts_.action != 0);
  ::SetWindowTextW(dialog_, load_string_(texts_.title).c_str());

  auto add = [&](int id, SkinControl::Kind kind, unsigned text, const RECT& rect) {
    auto control = SkinControl::Attach(dialog_, id, kind, skin_, this);
    control->SetText(text ? load_string_(text) : std::wstring());
    control->Place(text || id == kCross ? scaler.ToDevice(rect) : RECT{});
    controls_.push_back(std::move(control));
    return controls_.back().get();
  };
  SkinControl* title = add(kTitle, SkinControl::Kind::kLabel, texts_.title, layout.title);
  title->set_font(SkinFont::kDialogTitle);
  SkinControl* text = add(kDialogText, SkinControl::Kind::kLabel, texts_.text, layout.text);
  text->set_text_color(kMutedTextColor);
  // With one button it is on the right, whichever it is.
  const RECT& single = layout.action_button;
  SkinControl* action = add(kInstallButton, SkinControl::Kind::kImageButton, texts_.action,
                            layout.action_button);
  action->set_image(kSkinDialogButton);
  action->set_text_color(kLightTextColor);
  action->set_font(SkinFont::kButton);
  SkinControl* dismiss = add(kCancelButton, SkinControl::Kind::kImageButton, texts_.dismiss,
                             texts_.action ? layout.dismiss_button : single);
  dismiss->set_image(kSkinDialogSecondaryButton);
  dismiss->set_font(SkinFont::kButton);
  dismiss->set_text_color(kTextColor);
  SkinControl* cross = add(kCloseButton, SkinControl::Kind::kIconButton, 432, layout.close_button);
  cross->set_image(kSkinCancelButton);
  cross->set_font(SkinFont::kSmall);
  ::SetForegroundWindow(dialog_);
}

void SecondaryDialog::PaintBackground(Gdiplus::Graphics& graphics, const RECT& window_rect) {
  Gdiplus::SolidBrush white(Gdiplus::Color(255, 255, 255, 255));
  const int width = window_rect.right - window_rect.left;
  const int height = window_rect.bottom - window_rect.top;
  graphics.FillRectangle(&white, 0, 0, width, height);
  RECT client;
  ::GetClientRect(dialog_, &client);
  RECT shifted = {-window_rect.left, -window_rect.top, client.right - window_rect.left,
                  client.bottom - window_rect.top};
  skin_->Draw(graphics, kSkinDialogBackground, 0, shifted);
}

INT_PTR SecondaryDialog::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = FALSE;
  if (HandleSkinnedDialogMessage(dialog_, message, lparam, controls_, &result))
    return result;
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (HIWORD(wparam) != BN_CLICKED && lparam)
        return FALSE;
      if (id == kInstallButton && on_action_)
        on_action_();
      if (id == kInstallButton || id == kCancelButton || id == kCloseButton || id == IDCANCEL) {
        ::EndDialog(dialog_, id == IDCANCEL ? 2 : id);
        return TRUE;
      }
      return FALSE;
    }
    case WM_PAINT:
      PaintSkinnedWindow(dialog_, *skin_, kSkinDialogBackground);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_CLOSE) {
        ::EndDialog(dialog_, 2);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace ui
