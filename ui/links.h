#ifndef UI_LINKS_H_
#define UI_LINKS_H_

#include <string>
#include <string_view>

namespace distribution {
struct BrandInfo;
class DistribInfoParams;
}  // namespace distribution

namespace ui {

// The legal links the window opens: the brand's `license_url` or
// `conf_policy_url`, then "?lang=" and its `default_language`, built as
// narrow text and widened byte by byte.
std::wstring LicenseLink(const distribution::BrandInfo& brand);
std::wstring PrivacyLink(const distribution::BrandInfo& brand);

// The download-site host for a brand: `pattern` with every "@TLD@" replaced
// by the top-level domain of the brand's region ("com.tr" for "tb", "ru" for
// a brand outside the region table; `brand_id` matches exactly). A pattern
// without "@TLD@" is one host for every region.
std::wstring DownloadSiteHost(std::wstring_view pattern, const std::string& brand_id);

// The manual download page offered after a failed installation:
// "https://", the brand's download-site host (the build's
// TX_DOWNLOAD_SITE_HOST pattern), "/download?", then every distribution
// parameter the page understands as "key=value&" in ascending key order with
// its value as it is (never escaped), then "full=1&code=lite_install_failed".
std::wstring ManualDownloadLink(const distribution::BrandInfo& brand,
                                const distribution::DistribInfoParams& params);

}  // namespace ui

#endif  // UI_LINKS_H_
