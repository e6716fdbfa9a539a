#ifndef UI_LAYOUT_H_
#define UI_LAYOUT_H_

#include <windows.h>

#include <array>

namespace ui {

// Control ids of the main dialog (template 129) and of the secondary
// dialogs (template 202).
enum ControlId : int {
  kInstallButton = 1,
  kCancelCommand = 2,  // Escape.
  kTitle = 1000,
  kDefaultCheckbox = 1002,
  kStatisticsCheckbox = 1003,
  kTaskbarCheckbox = 1004,
  kCloseButton = 1009,
  kCancelButton = 1010,
  kProgressBar = 1012,
  kPrivacyLink = 1021,
  kLicencePlain = 1053,
  kLicenceLink = 1054,
  kPercentText = 1055,
  kProgressLicencePlain = 1067,
  kProgressLicenceLink = 1068,
  kDialogText = -1,
};

// Which checkboxes the first screen offers: bit 0 the default browser, bit 1
// the statistics, bit 2 the taskbar shortcut.
enum LayoutBits : int {
  kOffersDefault = 1,
  kOffersStatistics = 2,
  kOffersTaskbar = 4,
};

// Design-pixel rectangles of one layout variant.
struct Layout {
  RECT title;
  RECT install_button;
  RECT cancel_button;    // First screen, top right.
  RECT close_button;     // Progress screen, top right.
  RECT default_checkbox;  // Empty when not offered.
  RECT statistics_checkbox;
  RECT taskbar_checkbox;
  RECT licence;          // The licence sentence on the first screen.
  RECT privacy_link;
  RECT progress_bar;
  RECT percent_text;
  RECT progress_licence;  // The licence sentence on the progress screen.
};

inline constexpr int kWindowWidth = 728;  // Design pixels.
inline constexpr int kWindowHeight = 400;
inline constexpr int kDialogWidth = 460;
inline constexpr int kDialogHeight = 240;

// The layout of `variant` (0 to 7), in design pixels.
Layout LayoutFor(int variant);

// Every rectangle of a layout with a name, for tests and for placing.
struct NamedRect {
  const char* name;
  RECT rect;
};
std::array<NamedRect, 12> NamedRects(const Layout& layout);

// Secondary dialog (template 202) rectangles, design pixels.
struct DialogLayout {
  RECT title;
  RECT text;
  RECT action_button;
  RECT dismiss_button;
  RECT close_button;
};
// `two_buttons`: the dismiss button is shown beside the action button.
DialogLayout DialogLayoutFor(bool two_buttons);

}  // namespace ui

#endif  // UI_LAYOUT_H_
