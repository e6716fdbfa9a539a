#include "distribution/brand_info.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "base/fake_os_facts_for_testing.h"
#include "base/file_util.h"
#include "base/string_conv.h"
#include "build_config.h"
#include "base/log_capture_for_testing.h"
#include "distribution/cab_writer_for_testing.h"
#include "base/registry_store.h"

namespace distribution {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

class FakeResources : public PackageResources {
 public:
  std::string_view LoadById(int id) override {
    requests.push_back(L"#" + std::to_wstring(id));
    return by_id[id];
  }
  std::string_view LoadByName(const std::wstring& name) override {
    requests.push_back(name);
    return by_name[name];
  }
  std::map<int, std::string> by_id;
  std::map<std::wstring, std::string> by_name;
  std::vector<std::wstring> requests;
};

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Host(const wchar_t* host) {
  return "https://" + base::NarrowLow8(host);
}

std::string BrandPackage(const std::string& config) {
  return MakeCabinetForTesting({{"readme.txt", "not this one"}, {"brand_config", config}});
}

class BrandInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::CreateTemporaryDirectory(L"bit") + L"\\";
    ASSERT_NE(dir_, L"\\");
    RemoveRegistryValues();
  }
  void TearDown() override {
    std::filesystem::remove_all(std::filesystem::path(dir_));
    RemoveRegistryValues();
  }
  static void RemoveRegistryValues() {
    for (const wchar_t* name : {L"brand", L"BrandFile", L"PartnerFile", L"lang"})
      base::RemoveValue(name);
  }

  BrandInfo MakeInfo() { return BrandInfo(dir_, &resources_, &facts_); }

  std::vector<std::string> Messages(const char* function) const {
    std::vector<std::string> out;
    for (const base::LogRecord& record : log_.records()) {
      if (std::string(record.function) == function)
        out.push_back(record.message);
    }
    return out;
  }

  std::wstring dir_;
  FakeResources resources_;
  base::FakeOsFacts facts_;
  base::ScopedLogCapture log_;
};

TEST_F(BrandInfoTest, DefaultPackageWithoutPartner) {
  const std::string package = BrandPackage("// sig\n{\"brand_id\": \"int\"}");
  resources_.by_id[319] = package;
  // An earlier run's longer file must be replaced, not overwritten in place.
  std::ofstream(std::filesystem::path(dir_ + L"BrandFile"), std::ios::binary)
      << std::string(package.size() * 2, 'z');

  BrandInfo info = MakeInfo();
  info.GetInfo("");

  EXPECT_EQ(info.brand_id, "int");
  EXPECT_TRUE(info.brand_package_found);
  EXPECT_FALSE(info.partner_package_found);
  EXPECT_EQ(info.brand_package_path, dir_ + L"BrandFile");
  EXPECT_EQ(info.partner_package_path, dir_ + L"PartnerFile");
  EXPECT_EQ(ReadFile(info.brand_package_path), package);
  EXPECT_FALSE(base::PathExists(info.partner_package_path));
  EXPECT_THAT(resources_.requests, ElementsAre(L"#320", L"#319"));

  EXPECT_THAT(Messages("GetInfo"),
              ElementsAre("Brand package path: " + base::WideToUtf8(dir_) + "BrandFile",
                          "Partner package path: " + base::WideToUtf8(dir_) + "PartnerFile"));
  EXPECT_THAT(Messages("Clear"), ElementsAre("Reset brand info.", "Reset brand info."));
  EXPECT_THAT(Messages("GetInfoFromResources"),
              ElementsAre("Partner package is empty.", "Fetching default package",
                          "Extract Brand package: " + base::WideToUtf8(dir_) + "BrandFile [" +
                              std::to_string(package.size()) + "B]"));
  // The configuration was logged once it was read.
  EXPECT_THAT(Messages("LogBrandInfo"), Contains("Brand id: int"));
}

TEST_F(BrandInfoTest, PartnerPackageIsWrittenAndWinsOverTheBrand) {
  const std::string partner = MakeCabinetForTesting(
      {{"partner_config",
        "{\"partner_id\": \"acme\", \"install\": {\"setup_url\": \"https://partner/a\"}}"}});
  resources_.by_id[320] = partner;
  resources_.by_id[319] = BrandPackage(
      "{\"brand_id\": \"int\", \"partner_id\": \"brand\", \"setup_url\": \"https://brand/a\","
      " \"install\": {\"send_statistics\": false}}");

  BrandInfo info = MakeInfo();
  info.GetInfo("");

  EXPECT_TRUE(info.partner_package_found);
  EXPECT_EQ(ReadFile(info.partner_package_path), partner);
  EXPECT_EQ(info.partner_id, "acme");
  EXPECT_EQ(info.setup_url, "https://partner/a");
  EXPECT_EQ(info.brand_id, "int");
  EXPECT_FALSE(info.ShouldSendStatistics());
  EXPECT_THAT(Messages("GetInfoFromResources"),
              Contains("Extract Partner package: " + base::WideToUtf8(dir_) + "PartnerFile [" +
                       std::to_string(partner.size()) + "B]"));
  EXPECT_THAT(Messages("GetInfoFromResources"), Not(Contains("Partner package is empty.")));
}

TEST_F(BrandInfoTest, NamedBrandPackage) {
  resources_.by_id[319] = BrandPackage("{\"brand_id\": \"default\"}");
  resources_.by_name[L"BRAND_UA_UK"] = BrandPackage("{\"brand_id\": \"ua-uk\"}");

  BrandInfo info = MakeInfo();
  info.GetInfo("ua_uk");
  EXPECT_EQ(info.brand_id, "ua-uk");
  EXPECT_EQ(ReadFile(info.brand_package_path), resources_.by_name[L"BRAND_UA_UK"]);
  EXPECT_THAT(resources_.requests, ElementsAre(L"#320", L"BRAND_UA_UK"));
  EXPECT_THAT(Messages("GetInfoFromResources"), Contains("Fetching defined UA_UK package"));

  // Without its resource the named brand falls back to the default package.
  resources_.by_name.clear();
  resources_.requests.clear();
  info.GetInfo("ua_uk");
  EXPECT_EQ(info.brand_id, "default");
  EXPECT_THAT(resources_.requests, ElementsAre(L"#320", L"BRAND_UA_UK", L"#319"));
}

TEST_F(BrandInfoTest, AutoPicksThePackageOfTheDetectedBrand) {
  facts_.region = L"UA";
  facts_.ui_language = 1049;
  resources_.by_id[319] = BrandPackage("{\"brand_id\": \"default\"}");
  resources_.by_name[L"BRAND_UA_RU"] = BrandPackage("{\"brand_id\": \"ua-ru\"}");

  BrandInfo info = MakeInfo();
  info.GetInfo("auto");
  EXPECT_EQ(info.brand_id, "ua-ru");
  EXPECT_THAT(Messages("AutodetectBrandName"),
              ElementsAre("User region: UA", "User locale: ru", "Detected brand-name: ua_ru"));
  EXPECT_THAT(Messages("GetInfoFromResources"), Contains("Fetching autodetected UA_RU package"));
}

TEST_F(BrandInfoTest, AutodetectionTable) {
  const struct {
    const wchar_t* region;
    LANGID language;
    const char* brand;
  } kCases[] = {
      {L"RU", 1058, "ua_uk"},  {L"RU", 1033, "tarnix"}, {L"RU", 1049, "tarnix"},
      {L"UA", 1049, "ua_ru"},  {L"UA", 1033, "ua_uk"},  {L"UA", 1058, "ua_uk"},
      {L"TR", 1049, "tb"},     {L"US", 1049, "tarnix"}, {L"", 1058, "ua_uk"},
      {L"DE", 1055, "tb"},     {L"US", 1033, "tarnix"}, {L"", 1045, "tarnix"},
  };
  for (const auto& c : kCases) {
    facts_.region = c.region;
    facts_.ui_language = c.language;
    BrandInfo info = MakeInfo();
    EXPECT_EQ(info.AutodetectBrandName(), c.brand) << c.region << " " << c.language;
  }

  log_.Clear();
  facts_.region = L"US";
  facts_.ui_language = 1033;
  MakeInfo().AutodetectBrandName();
  EXPECT_THAT(log_.messages(), ElementsAre("User region: US", "User locale: en",
                                           "Didn't found brand-name. Use default: tarnix"));
}

#if defined(TX_TEST_HOOKS)
// End-to-end tests choose the user's region and language this way.
TEST_F(BrandInfoTest, TestHooksReachAutodetection) {
  ::SetEnvironmentVariableW(L"TX_TEST_REGION", L"UA");
  ::SetEnvironmentVariableW(L"TX_TEST_UI_LANGUAGE", L"1049");
  BrandInfo info(dir_, &resources_);
  const std::string brand = info.AutodetectBrandName();
  ::SetEnvironmentVariableW(L"TX_TEST_REGION", nullptr);
  ::SetEnvironmentVariableW(L"TX_TEST_UI_LANGUAGE", nullptr);
  EXPECT_EQ(brand, "ua_ru");
}
#endif

TEST_F(BrandInfoTest, MissingPackagesAreReportedAndLeaveFieldsEmpty) {
  BrandInfo info = MakeInfo();
  info.GetInfo("ua_uk");
  EXPECT_FALSE(info.brand_package_found);
  EXPECT_FALSE(info.partner_package_found);
  EXPECT_EQ(info.brand_id, "");
  EXPECT_FALSE(base::PathExists(info.brand_package_path));
  std::vector<std::string> errors;
  for (const base::LogRecord& record : log_.records()) {
    if (record.severity == base::Severity::kError)
      errors.push_back(std::string(record.function) + ": " + record.message);
  }
  EXPECT_THAT(errors, ElementsAre("GetInfoFromResources: Partner package is empty.",
                                  "GetInfoFromResources: Brand package is empty."));
}

TEST_F(BrandInfoTest, UnreadablePackagesAreStillHandedOn) {
  // Not a cabinet, and a cabinet without the configuration file.
  resources_.by_id[320] = "MSCF but not really";
  resources_.by_id[319] = MakeCabinetForTesting({{"Brand_Config", "{\"brand_id\": \"x\"}"}});
  BrandInfo info = MakeInfo();
  info.GetInfo("");
  EXPECT_TRUE(info.partner_package_found);
  EXPECT_TRUE(info.brand_package_found);
  EXPECT_EQ(ReadFile(info.partner_package_path), resources_.by_id[320]);
  EXPECT_EQ(ReadFile(info.brand_package_path), resources_.by_id[319]);
  EXPECT_EQ(info.brand_id, "");
  EXPECT_THAT(Messages("LogBrandInfo"), IsEmpty());
  EXPECT_THAT(Messages("LoadConfigFromPackage"),
              ElementsAre("Can't extract partner_config from partner package",
                          "Can't extract brand_config from default brand package"));
}

// A configuration that does not parse leaves the brand to the defaults, and
// the log names the package and where its text went wrong.
TEST_F(BrandInfoTest, BrokenConfigurationIsReportedWithPackageLineAndColumn) {
  resources_.by_id[320] = MakeCabinetForTesting(
      {{"partner_config", "\xEF\xBB\xBF// sig\n{\"partner_id\": \"p7\"}"}});
  resources_.by_name[L"BRAND_UA_UK"] =
      BrandPackage("// sig\n{\n  \"brand_id\": \"ua-uk\",\n  \"brand_name\": \"\xCC\xEE\xE9\"\n}");
  BrandInfo info = MakeInfo();
  info.GetInfo("ua_uk");
  EXPECT_EQ(info.partner_id, "p7");  // The byte-order mark is no fault.
  ASSERT_EQ(Messages("LoadConfigFromPackage").size(), 1u);
  EXPECT_EQ(Messages("LoadConfigFromPackage")[0].rfind(
                "Can't parse brand_config of BRAND_UA_UK at line 4, column 17: "
                "unable to decode byte 0xcc",
                0),
            0u)
      << Messages("LoadConfigFromPackage")[0];
  bool warned = false;
  for (const base::LogRecord& record : log_.records())
    warned |= record.severity == base::Severity::kWarning;
  EXPECT_TRUE(warned);
  info.ApplyDefaults();
  EXPECT_EQ(info.brand_id, "tarnix");
  EXPECT_TRUE(info.brand_package_found);  // Still handed to the setup.
}

TEST_F(BrandInfoTest, PackageThatCannotBeWrittenIsStillRead) {
  resources_.by_id[319] = BrandPackage("{\"brand_id\": \"int\"}");
  BrandInfo info(dir_ + L"missing\\", &resources_, &facts_);
  info.GetInfo("");
  EXPECT_EQ(info.brand_id, "int");
  // The setup must not be pointed at a file that is not there.
  EXPECT_FALSE(info.brand_package_found);

  // Without a temporary directory nothing lands in the current directory.
  BrandInfo no_dir(L"", &resources_, &facts_);
  no_dir.GetInfo("");
  EXPECT_EQ(no_dir.brand_id, "int");
  EXPECT_EQ(no_dir.brand_package_path, L"BrandFile");
  EXPECT_FALSE(no_dir.brand_package_found);
  EXPECT_FALSE(base::PathExists(L"BrandFile"));
}

TEST_F(BrandInfoTest, RegistryValues) {
  // Values of an earlier run go, whatever this run finds.
  base::StoreValue(L"brand", L"old");
  base::StoreValue(L"BrandFile", L"C:\\old\\BrandFile");
  base::StoreValue(L"PartnerFile", L"C:\\old\\PartnerFile");
  resources_.by_id[319] = BrandPackage(
      "{\"brand_id\": \"int\", \"brand_name\": \"intl\", \"languages\": {\"interface\": \"tr\"}}");
  BrandInfo info = MakeInfo();
  info.GetInfo("");
  EXPECT_EQ(base::ReadValue(L"brand"), L"");
  EXPECT_EQ(base::ReadValue(L"BrandFile"), L"");
  EXPECT_EQ(base::ReadValue(L"PartnerFile"), L"");

  EXPECT_TRUE(info.StoreBrandInRegistry());
  EXPECT_TRUE(info.StoreLanguageInRegistry());
  EXPECT_EQ(base::ReadValue(L"brand"), L"intl");
  EXPECT_EQ(base::ReadValue(L"BrandFile"), dir_ + L"BrandFile");
  EXPECT_EQ(base::ReadValue(L"PartnerFile"), L"");  // No partner package.
  EXPECT_EQ(base::ReadValue(L"lang"), L"tr");

  info.partner_package_found = true;
  info.brand_name = "br\xE9nd";  // Widened byte by byte.
  EXPECT_TRUE(info.StoreBrandInRegistry());
  EXPECT_EQ(base::ReadValue(L"PartnerFile"), dir_ + L"PartnerFile");
  EXPECT_EQ(base::ReadValue(L"brand"), L"br\u00E9nd");
}

TEST_F(BrandInfoTest, DefaultsFillOnlyEmptyFields) {
  facts_.ui_language = 1058;
  BrandInfo info = MakeInfo();
  info.ApplyDefaults();
  EXPECT_EQ(info.brand_id, "tarnix");
  EXPECT_EQ(info.brand_name, "tarnix");
  EXPECT_EQ(info.partner_id, "");
  EXPECT_EQ(info.setup_url, Host(TX_CDN_HOST) + "/browser/tarnix/browser-setup.arc");
  EXPECT_EQ(info.scenarios_url, Host(TX_CDN_HOST) + "/browser/installer/quova/scenarios/");
  EXPECT_EQ(info.license_url, Host(TX_LEGAL_HOST) + "/browser_agreement/");
  EXPECT_EQ(info.conf_policy_url, Host(TX_LEGAL_HOST) + "/confidential/");
  EXPECT_EQ(info.variations_url,
            Host(TX_EXPERIMENTS_HOST) + "/content/get/experiments/browser.proto");
  EXPECT_EQ(info.abt_url, Host(TX_ABT_HOST) + "/ab/get/abt_config");
  EXPECT_EQ(info.default_language, "uk");
  EXPECT_EQ(info.language_id, 1058);
  EXPECT_EQ(info.setup_url_version, "");
  EXPECT_EQ(info.slide_url, "");
  EXPECT_EQ(info.send_statistics, kTriUnset);

  BrandInfo set = MakeInfo();
  set.brand_id = "ua";
  set.need_ppapi_flash = kTriTrue;
  set.default_language = "pt-BR";
  set.language_id = 1033;
  set.license_url = "https://own/eula";
  set.ApplyDefaults();
  EXPECT_EQ(set.brand_name, "ua");
  EXPECT_EQ(set.setup_url, Host(TX_CDN_HOST) + "/browser/ua/flash/browser-setup.arc");
  EXPECT_EQ(set.license_url, "https://own/eula");
  EXPECT_EQ(set.default_language, "pt-BR");
  EXPECT_EQ(set.language_id, 1046);
}

TEST_F(BrandInfoTest, DefaultsEndWithTheBrandInfoLog) {
  BrandInfo info = MakeInfo();
  info.setup_url_version64 = "https://v64";
  info.send_statistics = kTriFalse;
  info.alternate_installer_title = kTriTrue;
  info.ApplyDefaults();
  const std::string cdn = Host(TX_CDN_HOST);
  const std::vector<std::string> expected = {
      "Brand id: tarnix",
      "Brand name: tarnix",
      "Setup url: " + cdn + "/browser/tarnix/browser-setup.arc",
      "Versioned setup url: ",
      "Setup url64: ",
      "Versioned setup url64: https://v64",
      "Setup url32: ",
      "Default language: en",
      "Quova install scenarios url: " + cdn + "/browser/installer/quova/scenarios/",
      "Install slide url by default: ",
      "Install slide url if tagged installer: ",
      "Show international title: 1",
      "Send browser's statistics: 0",
      "Make browser default after import: 1",
      "Is ppapi: 0",
      "Preloaded wallpapers url: ",
      "Quova taskbar shortcut promt: 0",
  };
  EXPECT_EQ(Messages("LogBrandInfo"), expected);
}

TEST_F(BrandInfoTest, ClearKeepsOnlyThePackageDirectory) {
  std::string BrandInfo::*const kStrings[] = {
      &BrandInfo::setup_url,       &BrandInfo::setup_url_version, &BrandInfo::setup_url64,
      &BrandInfo::setup_url_version64, &BrandInfo::setup_url32,   &BrandInfo::brand_id,
      &BrandInfo::brand_name,      &BrandInfo::default_language,  &BrandInfo::license_url,
      &BrandInfo::conf_policy_url, &BrandInfo::partner_id,        &BrandInfo::scenarios_url,
      &BrandInfo::slide_url,       &BrandInfo::slide_url_if_tagged, &BrandInfo::variations_url,
      &BrandInfo::abt_url,         &BrandInfo::preloaded_wallpapers_url,
  };
  TriBool BrandInfo::*const kFlags[] = {
      &BrandInfo::quova_taskbar_shortcut_promt, &BrandInfo::alternate_installer_title,
      &BrandInfo::send_statistics, &BrandInfo::make_browser_default,
      &BrandInfo::need_ppapi_flash};
  BrandInfo info = MakeInfo();
  for (auto field : kStrings)
    info.*field = "x";
  for (auto flag : kFlags)
    info.*flag = kTriFalse;
  info.brand_package_path = L"b";
  info.partner_package_path = L"p";
  info.brand_package_found = info.partner_package_found = true;
  info.language_id = 1049;

  info.Clear();
  for (auto field : kStrings)
    EXPECT_EQ(info.*field, "");
  for (auto flag : kFlags)
    EXPECT_EQ(info.*flag, kTriUnset);
  EXPECT_EQ(info.brand_package_path, L"");
  EXPECT_EQ(info.partner_package_path, L"");
  EXPECT_FALSE(info.brand_package_found);
  EXPECT_FALSE(info.partner_package_found);
  EXPECT_EQ(info.language_id, 1033);
  EXPECT_EQ(info.package_dir, dir_);
  EXPECT_THAT(Messages("Clear"), ElementsAre("Reset brand info."));

  // The seams survive: a later resolution still reads the fake resources.
  resources_.by_id[319] = BrandPackage("{\"brand_id\": \"int\"}");
  info.GetInfo("");
  EXPECT_EQ(info.brand_id, "int");
}

TEST(BrandInfoUrlTest, QueryParameters) {
  BrandInfo info;
  info.variations_url = "https://exp/seed";
  info.abt_url = "https://abt/config?format=json";
  info.brand_id = "int";
  const std::string version = "version=21.2.2.102";

  EXPECT_EQ(info.VariationsUrlWithQuery("{U-1}"),
            "https://exp/seed?brand=int&uid={U-1}&" + version);  // No partner.
  EXPECT_EQ(info.AbtUrlWithQuery("{U-1}"),
            "https://abt/config?format=json&brand=int&uid={U-1}&" + version);

  info.partner_id = "a b&c";  // Goes as it is.
  info.brand_id.clear();
  EXPECT_EQ(info.VariationsUrlWithQuery(""), "https://exp/seed?partner=a b&c&" + version);

  info.partner_id.clear();
  EXPECT_EQ(info.VariationsUrlWithQuery(""), "https://exp/seed?" + version);
  info.variations_url.clear();
  EXPECT_EQ(info.VariationsUrlWithQuery("u"), "?uid=u&" + version);
}

}  // namespace
}  // namespace distribution
