#include "setup/delayed_params.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/log_capture_for_testing.h"
#include "base/command_line.h"

namespace setup {
namespace {

DelayedParamsValues Full() {
  DelayedParamsValues v;
  v.browser_arc_path = L"C:\\Temp\\tx1.tmp";
  v.clids_file_path = L"C:\\Temp\\clids.xml";
  v.clids_searchband_file_path = L"C:\\Temp\\clids_searchband.xml";
  v.tarnix_website_icon_file_path = L"C:\\Temp\\website.ico";
  v.installer_data_path = L"C:\\Temp\\installerdata";
  v.brand_package_path = L"C:\\Temp\\brand.cab";
  v.partner_package_path = L"C:\\Temp\\partner.cab";
  v.partner_package_override_path = L"C:\\Temp\\override.cab";
  v.histogram_download_time = L"1234";
  v.histogram_full_time = L"98765432101";
  v.send_statistics = true;
  v.make_default = false;
  v.create_quova_shortcut = true;
  return v;
}

TEST(DelayedParamsTest, RoundTripsThroughTheSharedBlock) {
  DelayedParamsValues v = Full();
  v.browser_arc_path = L"C:\\" + std::wstring(257, L'p');  // Exactly 260 characters.
  ASSERT_TRUE(WriteDelayedParams(v));
  DelayedParamsValues read = ReadDelayedParams();
  EXPECT_EQ(read.browser_arc_path, v.browser_arc_path);
  EXPECT_EQ(read.partner_package_override_path, v.partner_package_override_path);
  EXPECT_EQ(read.histogram_full_time, v.histogram_full_time);
  EXPECT_TRUE(read.send_statistics);
  EXPECT_FALSE(read.make_default);
  EXPECT_TRUE(read.create_quova_shortcut);

  // A shorter value leaves nothing of the longer one behind.
  v.browser_arc_path = L"C:\\a";
  ASSERT_TRUE(WriteDelayedParams(v));
  EXPECT_EQ(ReadDelayedParams().browser_arc_path, L"C:\\a");
}

TEST(DelayedParamsTest, OverlongValuesWriteNothingAndLogEveryField) {
  ASSERT_TRUE(WriteDelayedParams(Full()));
  base::ScopedLogCapture log;
  DelayedParamsValues v = Full();
  v.clids_file_path = L"C:\\" + std::wstring(258, L'c');  // 261 characters.
  EXPECT_FALSE(WriteDelayedParams(v));
  DelayedParamsValues time = Full();
  time.histogram_download_time = std::wstring(33, L'9');
  EXPECT_FALSE(WriteDelayedParams(time));
  EXPECT_EQ(ReadDelayedParams().clids_file_path, Full().clids_file_path);
  ASSERT_EQ(log.records().size(), 2u);
  EXPECT_STREQ(log.records()[0].function, "WriteDelayedParams");
  std::string expected =
      "Too large string length, browser_arc_path=C:\\Temp\\tx1.tmp clids_file_path=C:\\" +
      std::string(258, 'c') +
      " clids_searchband_file_path=C:\\Temp\\clids_searchband.xml"
      " tarnix_website_icon_file_path=C:\\Temp\\website.ico"
      " installer_data_path=C:\\Temp\\installerdata brand_package_path=C:\\Temp\\brand.cab"
      " partner_package_path=C:\\Temp\\partner.cab"
      " partner_package_override_path=C:\\Temp\\override.cab histogram_download_time=1234"
      " histogram_full_time=98765432101 send_statistics=1 make_default=0"
      " create_quova_shortcut=1 - ";
  EXPECT_EQ(log.messages()[0].substr(0, expected.size()), expected);
}

TEST(DelayedParamsTest, CompletesTheChildsSetupCommandLine) {
  base::CommandLine line = base::CommandLine::FromString(
      L"C:\\old.arc --progress-window=42 --make-browser-default-after-import --partner-package=x");
  DelayedParamsValues v = Full();
  v.partner_package_path.clear();
  ApplyDelayedParams(v, &line);
  EXPECT_EQ(line.program(), L"C:\\Temp\\tx1.tmp");
  EXPECT_EQ(line.GetSwitchValue("installerdata"), L"C:\\Temp\\installerdata");
  EXPECT_EQ(line.GetSwitchValue("clids-file"), L"C:\\Temp\\clids.xml");
  EXPECT_EQ(line.GetSwitchValue("clids-searchband-file"), L"C:\\Temp\\clids_searchband.xml");
  EXPECT_EQ(line.GetSwitchValue("tarnix-website-icon-file"), L"C:\\Temp\\website.ico");
  EXPECT_EQ(line.GetSwitchValue("brand-package"), L"C:\\Temp\\brand.cab");
  EXPECT_EQ(line.GetSwitchValue("override-partner-package"), L"C:\\Temp\\override.cab");
  EXPECT_EQ(line.GetSwitchValue("install-start-time-no-uac"), L"98765432101");
  EXPECT_EQ(line.GetSwitchValue("histogram-download-time"), L"1234");
  EXPECT_EQ(line.GetSwitchValue("progress-window"), L"42");
  // An empty path leaves the parent's template alone; false options remove switches.
  EXPECT_EQ(line.GetSwitchValue("partner-package"), L"x");
  EXPECT_FALSE(line.HasSwitch("make-browser-default-after-import"));
  EXPECT_TRUE(line.HasSwitch("send-statistics"));
  EXPECT_TRUE(line.HasSwitch("create-quova-shortcut-in-taskbar"));
}

}  // namespace
}  // namespace setup
