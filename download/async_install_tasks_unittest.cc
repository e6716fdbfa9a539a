#include "download/async_install_tasks.h"

#include <gtest/gtest.h>

#include "base/string_conv.h"
#include "build_config.h"
#include "distribution/distrib_info_params.h"

namespace download {
namespace {

TEST(InstallTaskSwitchesTest, AbsentKeysRunOnlyTheSeedTasks) {
  distribution::DistribInfoParams params;
  InstallTaskSwitches switches = ReadInstallTaskSwitches(params);
  EXPECT_TRUE(switches.variations);
  EXPECT_TRUE(switches.abt);
  EXPECT_FALSE(switches.server_config);
  EXPECT_EQ(switches.wallpaper_experiment, "");
}

TEST(InstallTaskSwitchesTest, OnlyOneTurnsATaskOnAndAnyPwexpValueNamesTheExperiment) {
  distribution::DistribInfoParams params;
  params.Parse("vup=0&abtup=&scup=2&pwexp=0");
  InstallTaskSwitches switches = ReadInstallTaskSwitches(params);
  EXPECT_FALSE(switches.variations);
  EXPECT_FALSE(switches.abt);  // Present but empty is not "1".
  EXPECT_FALSE(switches.server_config);
  EXPECT_EQ(switches.wallpaper_experiment, "0");

  params.Parse("vup=1&abtup=1&scup=1&pwexp=");
  switches = ReadInstallTaskSwitches(params);
  EXPECT_TRUE(switches.variations);
  EXPECT_TRUE(switches.abt);
  EXPECT_TRUE(switches.server_config);
  EXPECT_EQ(switches.wallpaper_experiment, "");
}

TEST(ServerConfigUrlTest, QueryHoldsWhatIsKnownUnescaped) {
  const std::string base = "https://" + base::NarrowLow8(TX_EXPERIMENTS_HOST) + "/configs/all_zip";
  EXPECT_EQ(ServerConfigUrl("int", "p 1&x"), base + "?brandID=int&partnerID=p 1&x");
  EXPECT_EQ(ServerConfigUrl("int", ""), base + "?brandID=int");
  EXPECT_EQ(ServerConfigUrl("", "p"), base + "?partnerID=p");
  EXPECT_EQ(ServerConfigUrl("", ""), base);
}

}  // namespace
}  // namespace download
