#include "setup/setup_command_line.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

SetupCommandLineOptions Options(bool direct) {
  SetupCommandLineOptions o;
  o.archive_path = L"C:\\Temp\\tx12.tmp";
  o.direct_run = direct;
  o.progress_window = 0x1234;
  o.brand_name = L"tarnix";
  o.distrib_info_path = L"C:\\Users\\A B\\AppData\\distrib_info";
  o.send_statistics = true;
  o.install_start_time = 777;
  o.installer_data_path = L"C:\\Temp\\installerdata";
  o.clids_file_path = L"C:\\Temp\\clids.xml";
  o.brand_package_path = L"C:\\Temp\\brand.cab";
  return o;
}

TEST(SetupCommandLineTest, DirectRunCarriesTheSideFiles) {
  base::CommandLine own = base::CommandLine::FromString(
      L"lite_installer.exe --silent --make-browser-default-after-import --foo=bar");
  base::CommandLine line = BuildSetupCommandLine(own, Options(true));
  // Paths with backslashes are quoted; the installer's own switches stay,
  // options that are off go.
  EXPECT_EQ(line.Format(),
            LR"("C:\Temp\tx12.tmp" --brand-name=tarnix --brand-package="C:\Temp\brand.cab")"
            LR"( --clids-file="C:\Temp\clids.xml")"
            LR"( --distr-info-file="C:\Users\A B\AppData\distrib_info" --foo=bar)"
            LR"( --install-start-time-no-uac=777 --installerdata="C:\Temp\installerdata")"
            LR"( --progress-window=4660 --send-statistics --silent --verbose-logging)");
}

TEST(SetupCommandLineTest, TemplateForTheElevatedChildLeavesSideFilesOut) {
  SetupCommandLineOptions o = Options(false);
  o.elevation_declined = true;
  o.progress_window = 0;
  o.elevation_point = 2;
  o.ok_button_pressed_time = 5;
  o.interface_availability = 3;
  o.variations_path = L"C:\\v";
  base::CommandLine line =
      BuildSetupCommandLine(base::CommandLine::FromString(L"x.exe"), o);
  EXPECT_TRUE(line.HasSwitch("disable-uac"));
  EXPECT_EQ(line.GetSwitchValue("progress-window"), L"0");
  EXPECT_TRUE(line.HasSwitch("show-uac-at-browser-start"));
  EXPECT_EQ(line.GetSwitchValue("ok-button-pressed-time"), L"5");
  EXPECT_EQ(line.GetSwitchValue("the-interface-availability"), L"3");
  EXPECT_EQ(line.GetSwitchValue("variations-update-path"), L"C:\\v");
  for (const char* name : {"installerdata", "clids-file", "brand-package", "source"})
    EXPECT_FALSE(line.HasSwitch(name)) << name;

  // A check that was taken is handed on even when its value is 0 (a future
  // build beyond the value's range); one that was not taken is not.
  o.interface_availability = 0;
  EXPECT_EQ(BuildSetupCommandLine(base::CommandLine(), o)
                .GetSwitchValue("the-interface-availability"), L"0");
  o.interface_availability.reset();
  EXPECT_FALSE(BuildSetupCommandLine(base::CommandLine(), o)
                   .HasSwitch("the-interface-availability"));
}

}  // namespace
}  // namespace setup
