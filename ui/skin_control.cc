#include "ui/skin_control.h"

#include <commctrl.h>

#include <objidl.h>

#include <gdiplus.h>

#include <memory>

namespace ui {

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr int kCheckboxSize = 20;  // Design pixels.
constexpr int kCheckboxTextGap = 10;

// Draws `text` with the control's font and colour, transparent.
void DrawTextIn(HDC dc, HFONT font, COLORREF color, const std::wstring& text, RECT rect,
                UINT format) {
  HGDIOBJ old_font = ::SelectObject(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color);
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_NOCLIP);
  ::SelectObject(dc, old_font);
}

}  // namespace

SkinControl::SkinControl(HWND hwnd, bool owns_window, int id, Kind kind, const Skin* skin,
                         ControlBackground* background)
    : hwnd_(hwnd), id_(id), kind_(kind), skin_(skin), background_(background),
      owns_window_(owns_window) {
  if (hwnd_)
    ::SetWindowSubclass(hwnd_, &SkinControl::SubclassProc, kSubclassId,
                        reinterpret_cast<DWORD_PTR>(this));
}

std::unique_ptr<SkinControl> SkinControl::Attach(HWND parent, int id, Kind kind,
                                                 const Skin* skin,
                                                 ControlBackground* background) {
  return std::unique_ptr<SkinControl>(
      new SkinControl(::GetDlgItem(parent, id), false, id, kind, skin, background));
}

std::unique_ptr<SkinControl> SkinControl::Create(HWND parent, int id, Kind kind,
                                                 const Skin* skin,
                                                 ControlBackground* background) {
  const bool is_static = kind == Kind::kLabel || kind == Kind::kTitle;
  DWORD style = WS_CHILD | WS_VISIBLE |
                (is_static ? SS_OWNERDRAW | SS_NOTIFY : BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP);
  HWND hwnd = ::CreateWindowExW(
      0, is_static ? L"STATIC" : L"BUTTON", L"", style, 0, 0, 0, 0, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
  return std::unique_ptr<SkinControl>(new SkinControl(hwnd, hwnd != nullptr, id, kind, skin,
                                                      background));
}

SkinControl::~SkinControl() {
  if (!hwnd_)
    return;
  ::RemoveWindowSubclass(hwnd_, &SkinControl::SubclassProc, kSubclassId);
  if (owns_window_)
    ::DestroyWindow(hwnd_);
}

void SkinControl::SetText(const std::wstring& text) {
  if (hwnd_)
    ::SetWindowTextW(hwnd_, text.c_str());
}

void SkinControl::Place(const RECT& rect) {
  if (!hwnd_)
    return;
  const bool empty = rect.right <= rect.left || rect.bottom <= rect.top;
  // One call moves and shows or hides: each is a round trip under Wine.
  ::SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (empty ? SWP_HIDEWINDOW : SWP_SHOWWINDOW));
}

void SkinControl::set_checked(bool checked) {
  checked_ = checked;
  if (hwnd_)
    ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void SkinControl::Click() {
  if (kind_ == Kind::kCheckbox)
    set_checked(!checked_);
  if (on_click_)
    on_click_();
}

void SkinControl::ClearHover() {
  if (hover_ && hwnd_) {
    hover_ = false;
    ::InvalidateRect(hwnd_, nullptr, FALSE);
  }
}

std::wstring SkinControl::Text() const {
  int length = ::GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(::GetWindowTextW(hwnd_, text.data(), length + 1));
  return text;
}

int SkinControl::StateFrame(bool pressed, bool lit) const {
  if (kind_ == Kind::kCheckbox)
    return (checked_ ? 1 : 0) + (lit ? 2 : 0);
  return pressed ? 2 : lit ? 1 : 0;
}

void SkinControl::Draw(const DRAWITEMSTRUCT& item) {
  RECT client = item.rcItem;
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0)
    return;
  // Composed off screen, then copied in one go: no flicker.
  HDC memory = ::CreateCompatibleDC(item.hDC);
  HBITMAP bitmap = ::CreateCompatibleBitmap(item.hDC, width, height);
  HGDIOBJ old_bitmap = ::SelectObject(memory, bitmap);
  {
    Gdiplus::Graphics graphics(memory);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    RECT window_rect = client;
    ::MapWindowPoints(hwnd_, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&window_rect), 2);
    if (background_)
      background_->PaintBackground(graphics, window_rect);

    const Scaler& scaler = skin_->scaler();
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    // The keyboard's focus shows as the hover look, which the skin draws for
    // every control; a dotted ring would not suit it.
    const bool lit = hover_ || (item.itemState & ODS_FOCUS) != 0;
    const std::wstring text = Text();
    HFONT font = skin_->Font(font_);
    RECT all = {0, 0, width, height};
    switch (kind_) {
      case Kind::kImageButton:
        skin_->Draw(graphics, image_, StateFrame(pressed, lit), all);
        graphics.Flush();
        DrawTextIn(memory, font, text_color_, text, all,
                   DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_HIDEPREFIX);
        break;
      case Kind::kIconButton:
        skin_->Draw(graphics, image_, StateFrame(pressed, lit), all);
        break;
      case Kind::kCheckbox: {
        const int box = scaler.ToDevice(kCheckboxSize);
        RECT frame = {0, scaler.ToDevice(1), box, scaler.ToDevice(1) + box};
        skin_->Draw(graphics, kSkinCheckbox, StateFrame(pressed, lit), frame);
        graphics.Flush();
        RECT text_rect = {box + scaler.ToDevice(kCheckboxTextGap), 0, width, height};
        DrawTextIn(memory, font, text_color_, text, text_rect, DT_WORDBREAK | DT_HIDEPREFIX);
        break;
      }
      case Kind::kLink: {
        graphics.Flush();
        DrawTextIn(memory, font, link_color_, text, all, DT_SINGLELINE | DT_NOPREFIX);
        if (lit) {
          HPEN pen = ::CreatePen(PS_SOLID, 1, link_color_);
          HGDIOBJ old_pen = ::SelectObject(memory, pen);
          SIZE extent = {};
          HGDIOBJ old_font = ::SelectObject(memory, font);
          ::GetTextExtentPoint32W(memory, text.c_str(), static_cast<int>(text.size()), &extent);
          ::SelectObject(memory, old_font);
          ::MoveToEx(memory, 0, extent.cy - 1, nullptr);
          ::LineTo(memory, extent.cx, extent.cy - 1);
          ::SelectObject(memory, old_pen);
          ::DeleteObject(pen);
        }
        break;
      }
      case Kind::kLabel:
        graphics.Flush();
        DrawTextIn(memory, font, text_color_, text, all, DT_WORDBREAK | DT_NOPREFIX);
        break;
      case Kind::kTitle: {
        graphics.Flush();
        size_t line_break = text.find(L'\n');
        std::wstring title = text.substr(0, line_break);
        RECT title_rect = all;
        DrawTextIn(memory, font, text_color_, title, title_rect, DT_SINGLELINE | DT_NOPREFIX);
        if (line_break != std::wstring::npos) {
          RECT subtitle_rect = {0, scaler.ToDevice(46), width, height};
          DrawTextIn(memory, skin_->Font(SkinFont::kSubtitle), kMutedTextColor,
                     text.substr(line_break + 1), subtitle_rect, DT_WORDBREAK | DT_NOPREFIX);
        }
        break;
      }
    }
  }
  ::BitBlt(item.hDC, client.left, client.top, width, height, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, old_bitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
}

LRESULT CALLBACK SkinControl::SubclassProc(HWND hwnd, UINT message, WPARAM wparam,
                                           LPARAM lparam, UINT_PTR, DWORD_PTR self_data) {
  auto* self = reinterpret_cast<SkinControl*>(self_data);
  switch (message) {
    case WM_MOUSEMOVE:
      if (!self->hover_) {
        self->hover_ = true;
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, hwnd, 0};
        ::TrackMouseEvent(&track);
        ::InvalidateRect(hwnd, nullptr, FALSE);
        if (self->kind_ == Kind::kLink)
          ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      }
      break;
    case WM_SETCURSOR:
      if (self->kind_ == Kind::kLink) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_MOUSELEAVE:
      self->ClearHover();
      break;
    // Owner-drawn buttons keep no check state of their own; the control
    // answers for its checkbox, so accessibility tools and tests can read it.
    case BM_GETCHECK:
      if (self->kind_ == Kind::kCheckbox)
        return self->checked_ ? BST_CHECKED : BST_UNCHECKED;
      break;
    case BM_SETCHECK:
      if (self->kind_ == Kind::kCheckbox) {
        self->set_checked(wparam == BST_CHECKED);
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace ui
