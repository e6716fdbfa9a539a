#ifndef UI_SKIN_CONTROL_H_
#define UI_SKIN_CONTROL_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/skin.h"

namespace ui {

// What a control needs from the window it sits on: the window's picture
// behind it, so that owner-drawn controls look transparent.
class ControlBackground {
 public:
  virtual ~ControlBackground() = default;
  // Paints the window's background of `window_rect` (device pixels, window
  // coordinates) at the top left of `graphics`.
  virtual void PaintBackground(Gdiplus::Graphics& graphics, const RECT& window_rect) = 0;
};

// One owner-drawn BUTTON or STATIC of a skinned dialog. It owns its click
// handler, its hover and checked states and, when it created the window,
// the window; its text is its window text, for keyboard users, screen
// readers and tests alike. Lives on the window thread.
class SkinControl {
 public:
  enum class Kind {
    kImageButton,  // A frame strip with the text centred on it.
    kIconButton,   // A frame strip alone; the text is for keyboards and readers.
    kCheckbox,     // A checkbox frame with the text beside it.
    kLink,         // Link-coloured text, underlined while hovered.
    kLabel,        // Text only (owner-drawn static).
    kTitle,        // First line large, the rest as a subtitle.
  };

  // Takes over the dialog item `id` of `parent` (it must be owner-drawn).
  static std::unique_ptr<SkinControl> Attach(HWND parent, int id, Kind kind, const Skin* skin,
                                             ControlBackground* background);
  // Creates a new owner-drawn child `id` of `parent`, owned by this object.
  static std::unique_ptr<SkinControl> Create(HWND parent, int id, Kind kind, const Skin* skin,
                                             ControlBackground* background);
  ~SkinControl();
  SkinControl(const SkinControl&) = delete;
  SkinControl& operator=(const SkinControl&) = delete;

  HWND hwnd() const { return hwnd_; }
  int id() const { return id_; }
  void set_image(SkinImage image) { image_ = image; }
  void set_font(SkinFont font) { font_ = font; }
  void set_text_color(COLORREF color) { text_color_ = color; }
  void set_link_color(COLORREF color) { link_color_ = color; }
  void SetText(const std::wstring& text);
  // Device pixels, relative to the parent; an empty rectangle hides it.
  void Place(const RECT& rect);
  void set_on_click(std::function<void()> handler) { on_click_ = std::move(handler); }
  bool checked() const { return checked_; }
  void set_checked(bool checked);

  // Called by the parent for WM_COMMAND (BN_CLICKED) and WM_DRAWITEM.
  void Click();
  void Draw(const DRAWITEMSTRUCT& item);
  // Forgets the hover state (the window was activated again).
  void ClearHover();

 private:
  SkinControl(HWND hwnd, bool owns_window, int id, Kind kind, const Skin* skin,
              ControlBackground* background);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self);
  std::wstring Text() const;
  // The frame of the strip: `lit` is the hover (or keyboard focus) look.
  int StateFrame(bool pressed, bool lit) const;

  HWND hwnd_;
  int id_;
  Kind kind_;
  const Skin* skin_;
  ControlBackground* background_;
  bool owns_window_;
  SkinImage image_ = kSkinInstallButton;
  SkinFont font_ = SkinFont::kBody;
  COLORREF text_color_ = kTextColor;
  COLORREF link_color_ = kLinkColor;
  std::function<void()> on_click_;
  bool checked_ = false;
  bool hover_ = false;
};

}  // namespace ui

#endif  // UI_SKIN_CONTROL_H_
