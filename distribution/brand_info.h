#ifndef DISTRIBUTION_BRAND_INFO_H_
#define DISTRIBUTION_BRAND_INFO_H_

#include <string>

namespace distribution {

// The resolved brand settings the installation uses.
struct BrandInfo {
  std::string setup_url;          // install.setup_url
  std::string setup_url_version;  // install.setup_url_version
  std::string setup_url64;        // install.setup_url64
  std::string setup_url32;        // install.setup_url32
  std::string brand_id;           // brand_id
  std::string brand_name;         // The resolved brand's name, passed to the setup.
  std::wstring brand_package_path;    // Empty when no brand package was found.
  std::wstring partner_package_path;  // Empty when no partner package was found.

  // Fills the fields that are still empty with their defaults.
  void ApplyDefaults();
};

}  // namespace distribution

#endif  // DISTRIBUTION_BRAND_INFO_H_
