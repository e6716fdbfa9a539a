#include "ui/layout.h"


namespace ui {

namespace {

constexpr RECT kEmpty = {0, 0, 0, 0};

constexpr RECT Box(int x, int y, int width, int height) {
  return RECT{x, y, x + width, y + height};
}

// The left column of the first screen; the right side is the illustration.
constexpr int kLeft = 40;
constexpr int kColumnWidth = 380;
constexpr int kCheckboxTop = 156;
constexpr int kCheckboxGap = 8;
constexpr int kSingleLineHeight = 24;
constexpr int kStatisticsHeight = 40;  // Its text takes two lines.

}  // namespace

Layout LayoutFor(int variant) {
  Layout layout = {};
  layout.title = Box(kLeft, 44, kColumnWidth, 104);
  layout.cancel_button = Box(kWindowWidth - 40, 8, 32, 32);
  layout.close_button = layout.cancel_button;

  // The offered checkboxes stack from the top of their area; the install
  // button follows the last one, so fewer options raise it.
  int y = kCheckboxTop;
  auto place = [&](bool offered, int height) {
    if (!offered)
      return kEmpty;
    RECT rect = Box(kLeft, y, kColumnWidth, height);
    y += height + kCheckboxGap;
    return rect;
  };
  layout.default_checkbox = place(variant & kOffersDefault, kSingleLineHeight);
  layout.statistics_checkbox = place(variant & kOffersStatistics, kStatisticsHeight);
  layout.taskbar_checkbox = place(variant & kOffersTaskbar, kSingleLineHeight);
  layout.install_button = Box(kLeft, y + 12, 200, 48);

  layout.licence = Box(kLeft, 336, kColumnWidth, 34);
  layout.privacy_link = Box(kLeft, 372, kColumnWidth, 18);
  layout.progress_bar = Box(kLeft, 352, 600, 8);
  layout.percent_text = Box(652, 340, 48, 24);
  layout.progress_licence = Box(kLeft, 300, 640, 34);
  return layout;
}

std::array<NamedRect, 12> NamedRects(const Layout& l) {
  return {{{"title", l.title},
           {"install_button", l.install_button},
           {"cancel_button", l.cancel_button},
           {"close_button", l.close_button},
           {"default_checkbox", l.default_checkbox},
           {"statistics_checkbox", l.statistics_checkbox},
           {"taskbar_checkbox", l.taskbar_checkbox},
           {"licence", l.licence},
           {"privacy_link", l.privacy_link},
           {"progress_bar", l.progress_bar},
           {"percent_text", l.percent_text},
           {"progress_licence", l.progress_licence}}};
}

DialogLayout DialogLayoutFor(bool two_buttons) {
  DialogLayout layout = {};
  layout.close_button = Box(kDialogWidth - 40, 14, 32, 32);
  layout.title = Box(32, 28, kDialogWidth - 80, 64);
  layout.text = Box(32, 98, kDialogWidth - 64, 70);
  const int button_y = kDialogHeight - 32 - 40;
  if (two_buttons) {
    layout.dismiss_button = Box(kDialogWidth - 32 - 140, button_y, 140, 40);
    layout.action_button = Box(kDialogWidth - 32 - 140 - 12 - 140, button_y, 140, 40);
  } else {
    layout.action_button = Box(kDialogWidth - 32 - 140, button_y, 140, 40);
  }
  return layout;
}

}  // namespace ui
