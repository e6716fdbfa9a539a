#include "download/setup_url_list.h"

#include "base/string_conv.h"
#include "build_config.h"

namespace download {

namespace {

constexpr wchar_t kQuery[] = L"?from_installer=true";
constexpr wchar_t kLegacyPath[] = L"/browser-partners/_xp_builds/browser-setup.arc";

}  // namespace

bool UsesLegacySetupUrl(const base::OsVersion& os) {
  return (os.major == 5 && os.minor == 1) || (os.major == 6 && os.minor == 0);
}

std::vector<std::wstring> BuildSetupUrlList(const base::OsVersion& os, SetupArch arch,
                                            const distribution::BrandInfo& brand,
                                            bool versioned_url_allowed) {
  std::vector<std::wstring> urls;
  if (UsesLegacySetupUrl(os)) {
    urls.push_back(std::wstring(L"https://") + TX_CDN_HOST + kLegacyPath);
  } else {
    if (arch == SetupArch::kX64)
      urls.push_back(base::WidenBytes(brand.setup_url64));
    else if (arch == SetupArch::kX86)
      urls.push_back(base::WidenBytes(brand.setup_url32));
    if (versioned_url_allowed)
      urls.push_back(base::WidenBytes(brand.setup_url_version));
    urls.push_back(base::WidenBytes(brand.setup_url));
  }
  for (std::wstring& url : urls)
    url += kQuery;
  return urls;
}

AttemptPlan MakeAttemptPlan(size_t url_count) {
  if (url_count == 0)
    return {};
  int attempts = url_count == 1 ? 6 : static_cast<int>(3 * url_count);
  return {attempts, attempts / static_cast<int>(url_count)};
}

}  // namespace download
