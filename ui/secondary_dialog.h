#ifndef UI_SECONDARY_DIALOG_H_
#define UI_SECONDARY_DIALOG_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/skin_control.h"

namespace ui {

class Skin;

// The texts of a secondary dialog (template 202), as string ids; 0 leaves a
// part out.
struct SecondaryDialogTexts {
  unsigned title;
  unsigned text;
  unsigned action;   // Button 1.
  unsigned dismiss;  // Button 1010; 0 hides it.
};

inline constexpr SecondaryDialogTexts kResumeQuestion = {419, 0, 412, 422};
inline constexpr SecondaryDialogTexts kInstallationError = {402, 425, 421, 433};
inline constexpr SecondaryDialogTexts kCryptoProNotice = {442, 423, 0, 426};
inline constexpr SecondaryDialogTexts kHigherVersion = {440, 430, 424, 0};
inline constexpr SecondaryDialogTexts kNotEnoughDiskSpace = {411, 403, 424, 0};

// A small modal dialog over the main window (or alone): title, text, an
// action button and a dismiss button, with the skin's look.
class SecondaryDialog : public ControlBackground {
 public:
  // Results: 1 the action button, 1010 the dismiss button, 1009 the cross,
  // 2 the system close command or Escape.
  static constexpr INT_PTR kAction = 1;
  static constexpr INT_PTR kDismiss = 1010;
  static constexpr INT_PTR kCross = 1009;

  // `load_string` gives the text of a string id in the window's language.
  SecondaryDialog(const SecondaryDialogTexts& texts, const Skin* skin,
                  std::function<std::wstring(unsigned)> load_string);
  ~SecondaryDialog() override;

  // Runs it modally over `owner` (may be null); `*current` holds the
  // dialog's handle while it is shown, so that others may end it.
  INT_PTR Run(HWND owner, HWND* current);
  // What the action button does before the dialog ends (e.g. open a link).
  void set_on_action(std::function<void()> handler) { on_action_ = std::move(handler); }

  void PaintBackground(Gdiplus::Graphics& graphics, const RECT& window_rect) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();

  SecondaryDialogTexts texts_;
  const Skin* skin_;
  std::function<std::wstring(unsigned)> load_string_;
  std::function<void()> on_action_;
  HWND dialog_ = nullptr;
  HWND* current_ = nullptr;
  std::vector<std::unique_ptr<SkinControl>> controls_;
};

// Sizes `window` to `width` x `height` device pixels and centres it on the
// work area of its monitor.
void CentreOnWorkArea(HWND window, int width, int height);

// Paints the client area of `window` (for WM_PAINT): off screen, over
// white, with `draw`, which gets the client rectangle; then in one copy.
void PaintWindow(HWND window, const std::function<void(Gdiplus::Graphics&, const RECT&)>& draw);

// Paints `image` of `skin` over the whole client area of `window`.
void PaintSkinnedWindow(HWND window, const Skin& skin, SkinImage image);

// The messages every skinned dialog answers alike: owner drawing forwarded
// to `controls`, no background erasing, transparent statics, and a window
// that moves by its background. True when `message` was one of them; the
// dialog procedure then returns `*result`.
bool HandleSkinnedDialogMessage(HWND dialog, UINT message, LPARAM lparam,
                                const std::vector<std::unique_ptr<SkinControl>>& controls,
                                INT_PTR* result);

// The control of `controls` whose window is `hwnd`; null when none.
SkinControl* FindControl(const std::vector<std::unique_ptr<SkinControl>>& controls, HWND hwnd);

}  // namespace ui

#endif  // UI_SECONDARY_DIALOG_H_
