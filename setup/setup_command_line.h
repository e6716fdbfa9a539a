#ifndef SETUP_SETUP_COMMAND_LINE_H_
#define SETUP_SETUP_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "base/command_line.h"

namespace setup {

// Everything the setup command line is made of, gathered by the installation run.
struct SetupCommandLineOptions {
  std::wstring archive_path;
  // A direct run also names the side files; the template for the elevated
  // child leaves them to the delayed parameters.
  bool direct_run = true;
  bool elevation_declined = false;
  uint64_t progress_window = 0;  // The window handle as a number; 0 without window.
  std::wstring brand_name;
  std::wstring distrib_info_path;
  bool make_default = false;
  bool send_statistics = false;
  bool create_quova_shortcut = false;
  int64_t ok_button_pressed_time = 0;  // Monotonic microseconds; 0 when unknown.
  int64_t install_start_time = 0;
  // Absent when the check was not taken; 0 is a value like any other.
  std::optional<uint32_t> interface_availability;
  std::wstring installer_data_path;
  std::wstring clids_file_path;
  std::wstring clids_searchband_file_path;
  std::wstring website_icon_file_path;
  std::wstring brand_package_path;    // Empty when no brand package was found.
  std::wstring partner_package_path;  // Empty when no partner package was found.
  std::wstring override_partner_package_path;
  int elevation_point = 0;  // 2: the prompt comes at the browser's first start.
  std::wstring variations_path;
  std::wstring abt_path;
  std::wstring server_config_bundle_path;
  std::wstring wallpaper_bundle_path;
};

// Starts from the installer's own command line, so every switch it received
// reaches the setup too.
base::CommandLine BuildSetupCommandLine(const base::CommandLine& own,
                                             const SetupCommandLineOptions& options);

}  // namespace setup

#endif  // SETUP_SETUP_COMMAND_LINE_H_
