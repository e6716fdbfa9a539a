#ifndef DISTRIBUTION_BRAND_INFO_H_
#define DISTRIBUTION_BRAND_INFO_H_

#include <string>
#include <string_view>

namespace base {
class OsFacts;
}

namespace distribution {

// An installation flag from a configuration: unset, or explicitly yes or no.
enum TriBool : int { kTriUnset = 0, kTriTrue = 1, kTriFalse = 2 };

// Where brand and partner packages come from: "BIN" resources.
class PackageResources {
 public:
  virtual ~PackageResources() = default;
  // The resource's bytes, empty when it is absent. The bytes stay valid as
  // long as the source does.
  virtual std::string_view LoadById(int id) = 0;
  virtual std::string_view LoadByName(const std::wstring& name) = 0;
};

// The installer's own resources.
class ExecutablePackageResources : public PackageResources {
 public:
  std::string_view LoadById(int id) override;
  std::string_view LoadByName(const std::wstring& name) override;
};

// Resource ids of the embedded packages.
inline constexpr int kDefaultBrandPackageId = 319;
inline constexpr int kPartnerPackageId = 320;

// The brand and partner settings of this copy of the installer, resolved
// from the embedded packages and completed with defaults. Filled once on the
// main thread before the installation starts, read-only afterwards.
struct BrandInfo {
  BrandInfo() = default;
  // `package_dir` is the directory the packages are written to, with its
  // trailing separator. `resources` and `os_facts` are not owned and must
  // outlive the object; null means the executable's resources and the
  // process-wide facts.
  explicit BrandInfo(std::wstring package_dir, PackageResources* resources = nullptr,
                     base::OsFacts* os_facts = nullptr);

  std::string setup_url;
  std::string setup_url_version;
  std::string setup_url64;
  std::string setup_url_version64;
  std::string setup_url32;
  std::string brand_id;
  std::string brand_name;
  std::string default_language;  // A language code such as "ru" or "pt-BR".
  int language_id = 0;           // The string table for `default_language`.
  std::string license_url;
  std::string conf_policy_url;
  std::wstring package_dir;
  // Where the packages go; they exist only when the matching flag is set.
  std::wstring brand_package_path;
  std::wstring partner_package_path;
  std::string partner_id;
  std::string scenarios_url;
  std::string slide_url;
  std::string slide_url_if_tagged;
  std::string variations_url;
  std::string abt_url;
  std::string preloaded_wallpapers_url;
  TriBool quova_taskbar_shortcut_promt = kTriUnset;
  bool brand_package_found = false;
  bool partner_package_found = false;
  TriBool alternate_installer_title = kTriUnset;
  TriBool send_statistics = kTriUnset;
  TriBool make_browser_default = kTriUnset;
  TriBool need_ppapi_flash = kTriUnset;

  // Absent flags mean yes for statistics and making the browser default,
  // and no for the others.
  bool ShowAlternateTitle() const { return alternate_installer_title == kTriTrue; }
  bool ShouldSendStatistics() const { return send_statistics != kTriFalse; }
  bool ShouldMakeBrowserDefault() const { return make_browser_default != kTriFalse; }
  bool NeedPpapiFlash() const { return need_ppapi_flash == kTriTrue; }
  bool ShouldPromptQuovaShortcut() const { return quova_taskbar_shortcut_promt == kTriTrue; }

  // Resolves the packages afresh: forgets earlier results (also those in the
  // registry), writes the packages to `package_dir` and reads their
  // configurations. `brand_name_switch` is the "brand-name" switch: a brand
  // name, "auto" or empty. Failures leave fields empty for the defaults.
  void GetInfo(const std::string& brand_name_switch);
  // The package part of GetInfo: the partner package, then the brand package
  // named by `name` (or autodetected, or the default one).
  void GetInfoFromResources(const std::string& name);
  // The brand that fits the user's region and interface language.
  std::string AutodetectBrandName();

  // Fills every field that is still empty with its default, then logs the
  // result. `language_id` always follows `default_language`.
  void ApplyDefaults();
  // Empties everything that configurations and defaults fill, and the
  // package paths; `package_dir` stays.
  void Clear();
  void LogBrandInfo() const;

  // Record the brand, its packages and the language for the browser's
  // setup under the installer's registry key. False when a value could not
  // be stored.
  bool StoreBrandInRegistry() const;
  bool StoreLanguageInRegistry() const;
  // Removes "brand", "BrandFile" and "PartnerFile" (the language stays).
  static void RemoveBrandFromRegistry();

  // `variations_url` and `abt_url` with the brand, partner, user ID and
  // installer version as query parameters; empty values are left out and
  // nothing is escaped. The variants without `user_id` read the current
  // user's ID.
  std::string VariationsUrlWithQuery() const;
  std::string VariationsUrlWithQuery(const std::string& user_id) const;
  std::string AbtUrlWithQuery() const;
  std::string AbtUrlWithQuery(const std::string& user_id) const;

 private:
  // Writes a package to its path; false when it was not fully written.
  bool WritePackage(const std::wstring& path, std::string_view bytes) const;
  // Reads `file_name` from the cabinet `package` into the still-empty
  // fields. A missing file or a broken configuration changes nothing and is
  // logged as a warning naming `package_name`.
  void LoadConfigFromPackage(std::string_view package, const char* file_name,
                             const std::string& package_name);
  std::string UrlWithQuery(const std::string& url, const std::string& user_id) const;
  PackageResources* resources();
  base::OsFacts* os_facts();

  PackageResources* resources_ = nullptr;
  base::OsFacts* os_facts_ = nullptr;
};

}  // namespace distribution

#endif  // DISTRIBUTION_BRAND_INFO_H_
