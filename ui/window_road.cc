#include "ui/window_road.h"

#include <windows.h>

#include "base/logging.h"
#include "distribution/brand_info.h"
#include "base/command_line.h"
#include "setup/exit_code.h"
#include "installer/installer.h"
#include "base/installer_switches.h"
#include "ui/display_scale.h"
#include "ui/main_window.h"
#include "ui/secondary_dialog.h"
#include "ui/skin.h"
#include "ui/string_table.h"

namespace ui {

int RunWindowRoad(const base::CommandLine& command_line,
                  const distribution::BrandInfo& brand,
                  const distribution::DistribInfoParams& params, bool enough_space) {
  const int language_id = brand.language_id ? brand.language_id : 1033;
  if (!enough_space) {
    Skin skin(Scaler(DisplayScaleFactor(command_line.GetSwitchValue(
                  base::switches::kForceDeviceScaleFactor))),
              language_id);
    SecondaryDialog notice(kNotEnoughDiskSpace, &skin, [language_id](unsigned id) {
      return LoadUiString(::GetModuleHandleW(nullptr), id, language_id);
    });
    notice.Run(nullptr, nullptr);
    return setup::ToInt(setup::ExitCode::NOT_ENOUGH_DISK_SPACE);
  }
  MainWindow window(brand, params, command_line, /*start_installation=*/true);
  if (window.Run() == MainWindow::kFinished && window.installer()) {
    // The newer-version notice may end the window while the setup still
    // runs: its exit code is the run's only once the run has ended.
    window.installer()->Stop();
    return window.installer()->exit_code();
  }
  LOG_AS("wWinMain", INFO) << "User cancelled installation.";
  return setup::ToInt(setup::ExitCode::USER_CANCELLED);
}

}  // namespace ui
