#include "ui/window_options.h"

#include <string>

#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "ui/layout.h"

namespace ui {

WindowOptions ReadWindowOptions(const distribution::DistribInfoParams& params) {
  WindowOptions options;
  options.make_default.given = params.GetBool("def", &options.make_default.value);
  options.send_statistics.given = params.GetBool("stat", &options.send_statistics.value);
  std::string promo;
  if (!options.send_statistics.given && params.Get("statpromo", &promo)) {
    options.send_statistics.given = true;
    options.send_statistics.value = promo == "true";
  }
  options.taskbar_shortcut.given =
      params.GetBool("quovashortcut", &options.taskbar_shortcut.value);
  std::string value;
  options.skip_first_screen = params.Get("first", &value) && value == "1" &&
                              options.make_default.given && options.send_statistics.given;
  options.keep_close_button = params.Get("cancel", &value) && value == "1";
  return options;
}

int LayoutVariant(const WindowOptions& options, const distribution::BrandInfo& brand) {
  int variant = 0;
  if (!options.make_default.given)
    variant |= kOffersDefault;
  if (!options.send_statistics.given)
    variant |= kOffersStatistics;
  if (!options.taskbar_shortcut.given && brand.ShouldPromptQuovaShortcut())
    variant |= kOffersTaskbar;
  return variant;
}

}  // namespace ui
