#include "download/setup_url_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "build_config.h"

namespace download {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(SetupUrlListTest, AttemptPlanGivesSixToOneUrlAndThreeToEachOfSeveral) {
  struct Case {
    size_t urls;
    int attempts;
    int per_url;
  } cases[] = {{0, 0, 0}, {1, 6, 6}, {2, 6, 3}, {3, 9, 3}};
  for (const Case& c : cases) {
    AttemptPlan plan = MakeAttemptPlan(c.urls);
    EXPECT_EQ(plan.attempts, c.attempts) << c.urls << " urls";
    EXPECT_EQ(plan.per_url, c.per_url) << c.urls << " urls";
  }
}

distribution::BrandInfo Brand() {
  distribution::BrandInfo brand;
  brand.setup_url = "https://cdn/setup.arc";
  brand.setup_url_version = "https://cdn/25.4/setup.arc";
  brand.setup_url64 = "https://cdn/setup64.arc";
  brand.setup_url32 = "https://cdn/setup32.arc";
  return brand;
}

TEST(SetupUrlListTest, ArchitectureAddressComesFirstThenVersionedThenPlain) {
  constexpr wchar_t kPlain[] = L"https://cdn/setup.arc?from_installer=true";
  constexpr wchar_t kVersioned[] = L"https://cdn/25.4/setup.arc?from_installer=true";
  constexpr wchar_t k64[] = L"https://cdn/setup64.arc?from_installer=true";
  constexpr wchar_t k32[] = L"https://cdn/setup32.arc?from_installer=true";
  struct Case {
    SetupArch arch;
    bool versioned;
    std::vector<std::wstring> expected;
  } cases[] = {
      {SetupArch::kDefault, false, {kPlain}},
      {SetupArch::kDefault, true, {kVersioned, kPlain}},
      {SetupArch::kX64, false, {k64, kPlain}},
      {SetupArch::kX64, true, {k64, kVersioned, kPlain}},
      {SetupArch::kX86, false, {k32, kPlain}},
      {SetupArch::kX86, true, {k32, kVersioned, kPlain}},
  };
  for (base::OsVersion os : {base::OsVersion{6, 1, 7601}, base::OsVersion{10, 0, 19045}}) {
    for (const Case& c : cases) {
      EXPECT_THAT(BuildSetupUrlList(os, c.arch, Brand(), c.versioned),
                  ElementsAreArray(c.expected))
          << "Windows " << os.major << "." << os.minor << ", arch "
          << static_cast<int>(c.arch) << ", versioned " << c.versioned;
    }
  }
}

TEST(SetupUrlListTest, EmptyAddressesStillGetTheQuery) {
  EXPECT_THAT(BuildSetupUrlList({6, 1}, SetupArch::kX86, {}, true),
              ElementsAre(L"?from_installer=true", L"?from_installer=true",
                          L"?from_installer=true"));
}

TEST(SetupUrlListTest, XpAndVistaGetOnlyTheLegacyArchive) {
  const std::wstring legacy = std::wstring(L"https://") + TX_CDN_HOST +
                              L"/browser-partners/_xp_builds/browser-setup.arc"
                              L"?from_installer=true";
  for (base::OsVersion os : {base::OsVersion{5, 1, 2600}, base::OsVersion{6, 0, 6002}}) {
    for (SetupArch arch : {SetupArch::kDefault, SetupArch::kX64, SetupArch::kX86}) {
      for (bool versioned : {false, true}) {
        EXPECT_THAT(BuildSetupUrlList(os, arch, Brand(), versioned), ElementsAre(legacy))
            << "Windows " << os.major << "." << os.minor << ", arch "
            << static_cast<int>(arch);
      }
    }
  }
}

}  // namespace
}  // namespace download
