#include "distribution/brand_info.h"

#include <windows.h>

#include <new>
#include <utility>

#include "base/file_util.h"
#include "base/os_facts.h"
#include "base/resource_util.h"
#include "base/string_conv.h"
#include "build_config.h"
#include "base/logging.h"
#include "distribution/brand_config.h"
#include "distribution/cab_extractor.h"
#include "distribution/user_id.h"
#include "base/registry_store.h"
#include "ui/languages.h"

namespace distribution {

namespace {

constexpr char kDefaultBrand[] = "tarnix";
constexpr int kDefaultLanguageId = 1033;

struct AutodetectRow {
  const char* region;    // Empty matches any region.
  const char* language;  // Empty matches any language.
  const char* brand;
};

// Searched in order: the first match wins.
constexpr AutodetectRow kAutodetectTable[] = {
    {"RU", "uk", "ua_uk"}, {"RU", "", "tarnix"}, {"UA", "ru", "ua_ru"}, {"UA", "", "ua_uk"},
    {"TR", "", "tb"},      {"", "ru", "tarnix"}, {"", "uk", "ua_uk"},   {"", "tr", "tb"},
};

std::string ToUpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string Https(const wchar_t* host, const char* path) {
  return "https://" + base::NarrowLow8(host) + path;
}

void SetIfEmpty(std::string* field, const std::string& value) {
  if (field->empty())
    *field = value;
}


// The servers read the values unescaped.
void AppendQueryParameter(std::string* url, const char* key, const std::string& value) {
  if (value.empty())
    return;
  *url += url->find('?') == std::string::npos ? '?' : '&';
  *url += key;
  *url += '=';
  *url += value;
}

}  // namespace

std::string_view ExecutablePackageResources::LoadById(int id) {
  return base::LoadBinResource(nullptr, MAKEINTRESOURCEW(id));
}

std::string_view ExecutablePackageResources::LoadByName(const std::wstring& name) {
  return base::LoadBinResource(nullptr, name.c_str());
}

BrandInfo::BrandInfo(std::wstring package_dir, PackageResources* resources,
                     base::OsFacts* os_facts)
    : package_dir(std::move(package_dir)), resources_(resources), os_facts_(os_facts) {}

PackageResources* BrandInfo::resources() {
  if (resources_)
    return resources_;
  static ExecutablePackageResources executable_resources;
  return &executable_resources;
}

base::OsFacts* BrandInfo::os_facts() {
  return os_facts_ ? os_facts_ : base::GetOsFacts();
}

void BrandInfo::GetInfo(const std::string& brand_name_switch) {
  Clear();
  // A value left by an earlier run must not outlive a package that is gone.
  RemoveBrandFromRegistry();
  Clear();
  brand_package_path = package_dir + L"BrandFile";
  partner_package_path = package_dir + L"PartnerFile";
  LOG(INFO) << "Brand package path: " << brand_package_path;
  LOG(INFO) << "Partner package path: " << partner_package_path;
  GetInfoFromResources(brand_name_switch);
}

void BrandInfo::GetInfoFromResources(const std::string& name) {
  // The partner goes first: values once set are never overwritten, so its
  // configuration beats the brand's.
  std::string_view partner = resources()->LoadById(kPartnerPackageId);
  if (!partner.empty()) {
    LOG(INFO) << "Extract Partner package: " << partner_package_path << " [" << partner.size()
              << "B]";
    partner_package_found = WritePackage(partner_package_path, partner);
    LoadConfigFromPackage(partner, "partner_config", "partner package");
  } else {
    LOG(ERROR) << "Partner package is empty.";
  }

  std::string_view brand;
  std::string brand_package_name;
  if (name == "auto") {
    std::string upper = ToUpperAscii(AutodetectBrandName());
    LOG(INFO) << "Fetching autodetected " << upper << " package";
    brand_package_name = "BRAND_" + upper;
    brand = resources()->LoadByName(base::WidenBytes(brand_package_name));
  } else if (!name.empty()) {
    std::string upper = ToUpperAscii(name);
    LOG(INFO) << "Fetching defined " << upper << " package";
    brand_package_name = "BRAND_" + upper;
    brand = resources()->LoadByName(base::WidenBytes(brand_package_name));
  }
  if (brand.empty()) {
    LOG(INFO) << "Fetching default package";
    brand_package_name = "default brand package";
    brand = resources()->LoadById(kDefaultBrandPackageId);
  }
  if (!brand.empty()) {
    LOG(INFO) << "Extract Brand package: " << brand_package_path << " [" << brand.size() << "B]";
    brand_package_found = WritePackage(brand_package_path, brand);
    LoadConfigFromPackage(brand, "brand_config", brand_package_name);
  } else {
    LOG(ERROR) << "Brand package is empty.";
  }
}

bool BrandInfo::WritePackage(const std::wstring& path, std::string_view bytes) const {
  // Without a temporary directory the bare name would land in whatever the
  // current directory happens to be; the package is still read.
  return !package_dir.empty() && base::WriteWholeFile(path, bytes);
}

void BrandInfo::LoadConfigFromPackage(std::string_view package, const char* file_name,
                                      const std::string& package_name) {
  // A broken package still goes to the browser's setup; only this
  // installer's settings fall back to the defaults, so say why.
  std::string config;
  if (!ExtractFileFromCabinet(package, file_name, &config)) {
    LOG(WARNING) << "Can't extract " << file_name << " from " << package_name;
    return;
  }
  ConfigError error;
  if (!FillBrandInfoFromConfig(config, this, &error)) {
    LOG(WARNING) << "Can't parse " << file_name << " of " << package_name << " at line "
                 << error.line << ", column " << error.column << ": " << error.text;
    return;
  }
  LogBrandInfo();
}

std::string BrandInfo::AutodetectBrandName() {
  std::string region = base::NarrowLow8(os_facts()->UserRegion());
  LOG(INFO) << "User region: " << region;
  std::string language = ui::LanguageCodeFromSystem(os_facts());
  LOG(INFO) << "User locale: " << language;
  for (const AutodetectRow& row : kAutodetectTable) {
    if ((!*row.region || region == row.region) && (!*row.language || language == row.language)) {
      LOG(INFO) << "Detected brand-name: " << row.brand;
      return row.brand;
    }
  }
  LOG(INFO) << "Didn't found brand-name. Use default: " << kDefaultBrand;
  return kDefaultBrand;
}

void BrandInfo::ApplyDefaults() {
  SetIfEmpty(&brand_id, kDefaultBrand);
  SetIfEmpty(&brand_name, brand_id);
  // partner_id has no default: empty means no partner.
  SetIfEmpty(&scenarios_url, Https(TX_CDN_HOST, "/browser/installer/quova/scenarios/"));
  SetIfEmpty(&setup_url, Https(TX_CDN_HOST, "/browser/") + brand_id +
                             (NeedPpapiFlash() ? "/flash" : "") + "/browser-setup.arc");
  SetIfEmpty(&license_url, Https(TX_LEGAL_HOST, "/browser_agreement/"));
  SetIfEmpty(&conf_policy_url, Https(TX_LEGAL_HOST, "/confidential/"));
  SetIfEmpty(&default_language, ui::LanguageCodeFromSystem(os_facts()));
  language_id = ui::LanguageIdFromCode(default_language);
  SetIfEmpty(&variations_url,
             Https(TX_EXPERIMENTS_HOST, "/content/get/experiments/browser.proto"));
  SetIfEmpty(&abt_url, Https(TX_ABT_HOST, "/ab/get/abt_config"));
  LogBrandInfo();
}

void BrandInfo::Clear() {
  LOG(INFO) << "Reset brand info.";
  std::wstring dir = std::move(package_dir);
  PackageResources* const resources = resources_;
  base::OsFacts* const os_facts = os_facts_;
  // Built again in place: every field is back to its first value, a field
  // added later included, without a temporary and a member-wise assignment.
  this->~BrandInfo();
  new (this) BrandInfo(std::move(dir), resources, os_facts);
  language_id = kDefaultLanguageId;
}

void BrandInfo::LogBrandInfo() const {
  static constexpr struct {
    const char* label;
    std::string BrandInfo::*text;
  } kTexts[] = {
      {"Brand id: ", &BrandInfo::brand_id},
      {"Brand name: ", &BrandInfo::brand_name},
      {"Setup url: ", &BrandInfo::setup_url},
      {"Versioned setup url: ", &BrandInfo::setup_url_version},
      {"Setup url64: ", &BrandInfo::setup_url64},
      {"Versioned setup url64: ", &BrandInfo::setup_url_version64},
      {"Setup url32: ", &BrandInfo::setup_url32},
      {"Default language: ", &BrandInfo::default_language},
      {"Quova install scenarios url: ", &BrandInfo::scenarios_url},
      {"Install slide url by default: ", &BrandInfo::slide_url},
      {"Install slide url if tagged installer: ", &BrandInfo::slide_url_if_tagged},
  };
  for (const auto& line : kTexts)
    LOG(INFO) << line.label << this->*line.text;
  LOG(INFO) << "Show international title: " << ShowAlternateTitle();
  LOG(INFO) << "Send browser's statistics: " << ShouldSendStatistics();
  LOG(INFO) << "Make browser default after import: " << ShouldMakeBrowserDefault();
  LOG(INFO) << "Is ppapi: " << NeedPpapiFlash();
  LOG(INFO) << "Preloaded wallpapers url: " << preloaded_wallpapers_url;
  LOG(INFO) << "Quova taskbar shortcut promt: " << ShouldPromptQuovaShortcut();
}

bool BrandInfo::StoreBrandInRegistry() const {
  bool stored = base::StoreValue(L"brand", base::WidenBytes(brand_name));
  // A path without its package would hand the setup a missing file, or a
  // stale one from an earlier run.
  if (brand_package_found)
    stored &= base::StoreValue(L"BrandFile", brand_package_path);
  if (partner_package_found)
    stored &= base::StoreValue(L"PartnerFile", partner_package_path);
  return stored;
}

void BrandInfo::RemoveBrandFromRegistry() {
  for (const wchar_t* name : {L"brand", L"BrandFile", L"PartnerFile"})
    base::RemoveValue(name);
}

bool BrandInfo::StoreLanguageInRegistry() const {
  return base::StoreValue(L"lang", base::WidenBytes(default_language));
}

std::string BrandInfo::UrlWithQuery(const std::string& url, const std::string& user_id) const {
  std::string result = url;
  AppendQueryParameter(&result, "brand", brand_id);
  AppendQueryParameter(&result, "partner", partner_id);
  AppendQueryParameter(&result, "uid", user_id);
  AppendQueryParameter(&result, "version", TX_INSTALLER_VERSION);
  return result;
}

std::string BrandInfo::VariationsUrlWithQuery() const {
  return VariationsUrlWithQuery(GetUserIdInternal());
}

std::string BrandInfo::VariationsUrlWithQuery(const std::string& user_id) const {
  return UrlWithQuery(variations_url, user_id);
}

std::string BrandInfo::AbtUrlWithQuery() const {
  return AbtUrlWithQuery(GetUserIdInternal());
}

std::string BrandInfo::AbtUrlWithQuery(const std::string& user_id) const {
  return UrlWithQuery(abt_url, user_id);
}

}  // namespace distribution
