#include "download/setup_url_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "build_config.h"

namespace download {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(SetupUrlListTest, AttemptPlanGivesSixToOneUrlAndThreeToEachOfSeveral) {
  struct {
    size_t urls;
    int attempts, per_url;
  } cases[] = {{0, 0, 0}, {1, 6, 6}, {2, 6, 3}, {3, 9, 3}};
  for (const auto& c : cases) {
    AttemptPlan plan = MakeAttemptPlan(c.urls);
    EXPECT_EQ(plan.attempts, c.attempts) << c.urls << " urls";
    EXPECT_EQ(plan.per_url, c.per_url) << c.urls << " urls";
  }
}

TEST(SetupUrlListTest, ArchitectureAddressThenVersionedThenPlain) {
  distribution::BrandInfo brand;
  brand.setup_url = "https://cdn/s.arc";
  brand.setup_url_version = "https://cdn/25/s.arc";
  brand.setup_url64 = "https://cdn/s64.arc";
  brand.setup_url32 = "https://cdn/s32.arc";
  const std::wstring plain = L"https://cdn/s.arc?from_installer=true",
                     versioned = L"https://cdn/25/s.arc?from_installer=true",
                     x64 = L"https://cdn/s64.arc?from_installer=true",
                     x86 = L"https://cdn/s32.arc?from_installer=true";
  struct {
    SetupArch arch;
    bool versioned;
    std::vector<std::wstring> expected;
  } cases[] = {
      {SetupArch::kDefault, false, {plain}},     {SetupArch::kDefault, true, {versioned, plain}},
      {SetupArch::kX64, false, {x64, plain}},    {SetupArch::kX64, true, {x64, versioned, plain}},
      {SetupArch::kX86, false, {x86, plain}},    {SetupArch::kX86, true, {x86, versioned, plain}},
  };
  for (base::OsVersion os : {base::OsVersion{6, 1, 7601}, base::OsVersion{10, 0, 19045}}) {
    for (const auto& c : cases) {
      EXPECT_THAT(BuildSetupUrlList(os, c.arch, brand, c.versioned), ElementsAreArray(c.expected))
          << "Windows " << os.major << "." << os.minor << ", arch " << static_cast<int>(c.arch)
          << ", versioned " << c.versioned;
    }
  }
  EXPECT_THAT(BuildSetupUrlList({6, 1}, SetupArch::kX86, {}, false),
              ElementsAre(L"?from_installer=true", L"?from_installer=true"));

  // XP and Vista ignore the brand and the architecture.
  const std::wstring legacy = std::wstring(L"https://") + TX_CDN_HOST +
                              L"/browser-partners/_xp_builds/browser-setup.arc?from_installer=true";
  for (base::OsVersion os : {base::OsVersion{5, 1, 2600}, base::OsVersion{6, 0, 6002}}) {
    for (const auto& c : cases) {
      EXPECT_THAT(BuildSetupUrlList(os, c.arch, brand, c.versioned), ElementsAre(legacy))
          << "Windows " << os.major << "." << os.minor << ", arch " << static_cast<int>(c.arch);
    }
  }
}

}  // namespace
}  // namespace download
