#include "setup/setup_command_line.h"

#include "base/installer_switches.h"
#include "base/string_conv.h"

namespace setup {

namespace sw = base::switches;

namespace {

void SetIfNotEmpty(base::CommandLine* line, const char* name, const std::wstring& value) {
  if (!value.empty())
    line->SetSwitch(name, value);
}

void SetOrRemove(base::CommandLine* line, const char* name, bool on) {
  if (on)
    line->AppendSwitch(name);
  else
    line->RemoveSwitch(name);
}

void SetIfKnown(base::CommandLine* line, const char* name, int64_t value) {
  if (value != 0)
    line->SetSwitch(name, base::NumberToWString(value));
}

}  // namespace

base::CommandLine BuildSetupCommandLine(const base::CommandLine& own,
                                             const SetupCommandLineOptions& o) {
  base::CommandLine line = own;
  line.set_program(o.archive_path);
  if (o.elevation_declined)
    line.AppendSwitch(sw::kDisableUac);
  line.SetSwitch(sw::kProgressWindow, base::NumberToWString(o.progress_window));
  line.AppendSwitch(sw::kVerboseLogging);
  line.SetSwitch(sw::kBrandName, o.brand_name);
  SetIfNotEmpty(&line, sw::kDistrInfoFile, o.distrib_info_path);
  SetOrRemove(&line, sw::kMakeBrowserDefaultAfterImport, o.make_default);
  SetOrRemove(&line, sw::kSendStatistics, o.send_statistics);
  SetOrRemove(&line, sw::kCreateQuovaShortcutInTaskbar, o.create_quova_shortcut);
  SetIfKnown(&line, sw::kOkButtonPressedTime, o.ok_button_pressed_time);
  SetIfKnown(&line, sw::kInstallStartTimeNoUac, o.install_start_time);
  if (o.interface_availability)
    line.SetSwitch(sw::kTheInterfaceAvailability, base::NumberToWString(*o.interface_availability));
  if (o.direct_run) {
    SetIfNotEmpty(&line, sw::kInstallerData, o.installer_data_path);
    SetIfNotEmpty(&line, sw::kClidsFile, o.clids_file_path);
    SetIfNotEmpty(&line, sw::kClidsSearchbandFile, o.clids_searchband_file_path);
    SetIfNotEmpty(&line, sw::kTarnixWebsiteIconFile, o.website_icon_file_path);
    SetIfNotEmpty(&line, sw::kBrandPackage, o.brand_package_path);
    SetIfNotEmpty(&line, sw::kPartnerPackage, o.partner_package_path);
    SetIfNotEmpty(&line, sw::kOverridePartnerPackage, o.override_partner_package_path);
  }
  if (o.elevation_point == 2)
    line.AppendSwitch(sw::kShowUacAtBrowserStart);
  SetIfNotEmpty(&line, sw::kVariationsUpdatePath, o.variations_path);
  SetIfNotEmpty(&line, sw::kAbtUpdatePath, o.abt_path);
  SetIfNotEmpty(&line, sw::kServerConfigBundlePath, o.server_config_bundle_path);
  SetIfNotEmpty(&line, sw::kPreloadedWallpaperBundlePath, o.wallpaper_bundle_path);
  return line;
}

}  // namespace setup
