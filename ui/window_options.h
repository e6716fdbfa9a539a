#ifndef UI_WINDOW_OPTIONS_H_
#define UI_WINDOW_OPTIONS_H_

namespace distribution {
class DistribInfoParams;
struct BrandInfo;
}  // namespace distribution

namespace ui {

// An option that the distribution may decide; when it does not, the user
// decides it with a checkbox on the first screen.
struct DistributionChoice {
  bool given = false;  // Decided by the distribution parameters.
  bool value = false;  // The decision, when given.
};

// What the distribution parameters say about the window.
struct WindowOptions {
  DistributionChoice make_default;    // "def"
  DistributionChoice send_statistics;  // "stat", else "statpromo"
  DistributionChoice taskbar_shortcut;  // "quovashortcut"
  // "first" is "1" and both the default and the statistics choices are
  // given: the first screen is skipped and the installation needs no click.
  bool skip_first_screen = false;
  // "cancel" is "1": the close button stays on the progress screen.
  bool keep_close_button = false;
};

WindowOptions ReadWindowOptions(const distribution::DistribInfoParams& params);

// The layout variant: bit 0 the default checkbox is offered, bit 1 the
// statistics checkbox, bit 2 the taskbar checkbox (which the brand must
// also want to prompt for).
int LayoutVariant(const WindowOptions& options, const distribution::BrandInfo& brand);

}  // namespace ui

#endif  // UI_WINDOW_OPTIONS_H_
