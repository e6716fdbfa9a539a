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
};

}  // namespace distribution

#endif  // DISTRIBUTION_BRAND_INFO_H_
