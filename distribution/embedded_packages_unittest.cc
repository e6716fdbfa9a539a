// Reads the packages and side files that the build embedded in the two
// installer executables: lite_installer.exe (the configured packages
// directory) and lite_installer_partner.exe (the repository's packages plus
// a partner package and a website icon).

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "base/file_util.h"
#include "base/resource_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "build_config.h"
#include "distribution/cab_extractor.h"
#include "distribution/distribution_tag.h"

namespace distribution {
namespace {

constexpr int kBrandPackageId = 319;
constexpr int kPartnerPackageId = 320;
constexpr int kMasterPreferencesId = 305;
constexpr int kClidsId = 306;
constexpr int kClidsSearchbandId = 322;
constexpr int kWebsiteIconId = 323;

std::wstring PathIn(const char* dir, std::string_view relative) {
  return base::WidenBytes(std::string(dir) + "/" + std::string(relative));
}

std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  EXPECT_TRUE(ReadAllBytesFromFile(path, &bytes)) << base::NarrowLow8(path);
  return bytes;
}

std::string Host() {
  return base::NarrowLow8(TX_CDN_HOST);
}

class EmbeddedPackagesTest : public testing::Test {
 protected:
  // Maps an executable for its resources only; none of its code runs.
  static base::ScopedModule OpenExecutable(const char* name) {
    std::wstring path = PathIn(TX_TEST_BUILD_DIR, name);
    base::ScopedModule module(::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    EXPECT_TRUE(module.is_valid()) << name << ": error " << ::GetLastError();
    return module;
  }

  static std::string_view Resource(HMODULE module, int id) {
    return base::LoadBinResource(module, MAKEINTRESOURCEW(id));
  }

  // The file `name` of the package resource `resource`; empty when missing.
  static std::string PackageFile(HMODULE module, const wchar_t* resource, const char* name) {
    std::string_view package = base::LoadBinResource(module, resource);
    EXPECT_FALSE(package.empty()) << "no package resource for " << name;
    std::string contents;
    EXPECT_TRUE(ExtractFileFromCabinet(package, name, &contents)) << name;
    return contents;
  }

  static void ExpectDataFiles(HMODULE module, const char* packages_dir) {
    EXPECT_EQ(Resource(module, kMasterPreferencesId),
              ReadFile(PathIn(packages_dir, "data/master_preferences")));
    EXPECT_EQ(Resource(module, kClidsId), ReadFile(PathIn(packages_dir, "data/clids.xml")));
    EXPECT_EQ(Resource(module, kClidsSearchbandId),
              ReadFile(PathIn(packages_dir, "data/clids_searchband.xml")));
  }
};

TEST_F(EmbeddedPackagesTest, InstallerCarriesTheConfiguredPackages) {
  base::ScopedModule module = OpenExecutable("lite_installer.exe");
  ASSERT_TRUE(module.is_valid());

  std::string brand_config =
      PackageFile(module.get(), MAKEINTRESOURCEW(kBrandPackageId), "brand_config");
  EXPECT_EQ(brand_config, ReadFile(PathIn(TX_TEST_BUILD_DIR,
                                          "packages/lite_installer/brand/default/brand_config")));
  EXPECT_EQ(brand_config.find("@TX_"), std::string::npos) << brand_config;
  EXPECT_EQ(brand_config.rfind("//", 0), 0u) << "the signature line comes first";

  ExpectDataFiles(module.get(), TX_TEST_PACKAGES_DIR);
  // A partner package and an icon only when the packages directory has them;
  // the repository's own has neither.
  EXPECT_EQ(!Resource(module.get(), kPartnerPackageId).empty(),
            base::DirectoryExists(PathIn(TX_TEST_PACKAGES_DIR, "partner")));
  std::wstring icon = PathIn(TX_TEST_PACKAGES_DIR, "data/website.ico");
  if (base::FileExists(icon))
    EXPECT_EQ(Resource(module.get(), kWebsiteIconId), ReadFile(icon));
  else
    EXPECT_TRUE(Resource(module.get(), kWebsiteIconId).empty());
}

TEST_F(EmbeddedPackagesTest, DefaultBrandPointsAtTheConfiguredCdn) {
  base::ScopedModule module = OpenExecutable("lite_installer_partner.exe");
  ASSERT_TRUE(module.is_valid());
  std::string config =
      PackageFile(module.get(), MAKEINTRESOURCEW(kBrandPackageId), "brand_config");
  EXPECT_NE(config.find("\"brand_id\": \"int\""), std::string::npos) << config;
  EXPECT_NE(config.find("\"setup_url\": \"https://" + Host() + "/browser/int/browser-setup.arc\""),
            std::string::npos)
      << config;
  EXPECT_EQ(config.find("\"languages\""), std::string::npos) << config;
  EXPECT_EQ(config.find('@'), std::string::npos) << config;
}

TEST_F(EmbeddedPackagesTest, NamedBrandPackages) {
  base::ScopedModule module = OpenExecutable("lite_installer_partner.exe");
  ASSERT_TRUE(module.is_valid());
  struct Brand {
    const wchar_t* resource;
    const char* brand_id;
    const char* language;
  };
  for (const Brand& brand : {Brand{L"BRAND_TARNIX", "tarnix", "ru"},
                             Brand{L"BRAND_UA_UK", "ua-uk", "uk"},
                             Brand{L"BRAND_UA_RU", "ua-ru", "ru"},
                             Brand{L"BRAND_TB", "tb", "tr"}}) {
    SCOPED_TRACE(brand.brand_id);
    std::string config = PackageFile(module.get(), brand.resource, "brand_config");
    EXPECT_NE(config.find("\"brand_id\": \"" + std::string(brand.brand_id) + "\""),
              std::string::npos);
    EXPECT_NE(config.find("\"interface\": \"" + std::string(brand.language) + "\""),
              std::string::npos);
    EXPECT_NE(config.find("\"setup_url\": \"https://" + Host() + "/browser/" + brand.brand_id +
                          "/browser-setup.arc\""),
              std::string::npos);
    EXPECT_EQ(config.find('@'), std::string::npos);
  }
  // A brand without a folder has no resource.
  EXPECT_TRUE(base::LoadBinResource(module.get(), L"BRAND_XX").empty());
}

TEST_F(EmbeddedPackagesTest, PartnerBuildCarriesPartnerPackageAndIcon) {
  base::ScopedModule module = OpenExecutable("lite_installer_partner.exe");
  ASSERT_TRUE(module.is_valid());
  std::string config =
      PackageFile(module.get(), MAKEINTRESOURCEW(kPartnerPackageId), "partner_config");
  EXPECT_NE(config.find("\"partner_id\""), std::string::npos) << config;
  EXPECT_NE(config.find("\"setup_url\": \"https://" + Host() +
                        "/browser/partner/browser-setup.arc\""),
            std::string::npos)
      << config;
  EXPECT_EQ(config.find('@'), std::string::npos) << config;
  // The partner package holds no brand configuration.
  std::string ignored;
  EXPECT_FALSE(ExtractFileFromCabinet(Resource(module.get(), kPartnerPackageId), "brand_config",
                                      &ignored));

  ExpectDataFiles(module.get(), TX_TEST_REPO_PACKAGES_DIR);
  EXPECT_EQ(Resource(module.get(), kWebsiteIconId),
            ReadFile(PathIn(TX_TEST_OVERLAY_PACKAGES_DIR, "data/website.ico")));
}

}  // namespace
}  // namespace distribution
