#include "ui/links.h"

#include <algorithm>
#include <iterator>

#include "base/string_conv.h"
#include "build_config.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"

namespace ui {

namespace {

struct Region {
  const char* brand_id;
  const char* top_level_domain;
};

constexpr Region kRegions[] = {
    {"by", "by"},    {"int", "com"},   {"tb", "com.tr"}, {"ua", "ua"},
    {"ua-uk", "ua"}, {"ua-ru", "ua"}, {"tarnix", "ru"},
};
constexpr char kDefaultTopLevelDomain[] = "ru";

// The distribution parameters the download page reads to hand out the same
// distribution again; everything else stays out of the link.
constexpr std::string_view kDownloadPageParameters[] = {
    "banerid",    "beta",     "betacusto", "bgid",       "velarin", "custo",
    "expvelarin", "football", "lang",      "partner_id", "ondix",   "tnpartner_id",
};

constexpr std::wstring_view kTopLevelDomainMarker = L"@TLD@";

// Links are opened through the shell, which puts them into the browser's
// command line. Values from the distribution tag (which anyone may stamp)
// keep every byte that a URL may hold as it is, but a blank, a quote or a
// control character, which could end the link's argument there, is
// percent-encoded.
std::string EscapeArgumentBreakers(const std::string& value) {
  return base::PercentEncodeBytes(
      value, [](unsigned char byte) { return byte <= ' ' || byte == '"' || byte == 0x7F; });
}

std::wstring WithLanguage(const std::string& url, const distribution::BrandInfo& brand) {
  return base::WidenBytes(url + "?lang=" + EscapeArgumentBreakers(brand.default_language));
}

bool IsDownloadPageParameter(const std::string& key) {
  return std::find(std::begin(kDownloadPageParameters), std::end(kDownloadPageParameters),
                   key) != std::end(kDownloadPageParameters);
}

}  // namespace

std::wstring LicenseLink(const distribution::BrandInfo& brand) {
  return WithLanguage(brand.license_url, brand);
}

std::wstring PrivacyLink(const distribution::BrandInfo& brand) {
  return WithLanguage(brand.conf_policy_url, brand);
}

std::wstring DownloadSiteHost(std::wstring_view pattern, const std::string& brand_id) {
  const char* domain = kDefaultTopLevelDomain;
  for (const Region& region : kRegions) {
    if (brand_id == region.brand_id) {
      domain = region.top_level_domain;
      break;
    }
  }
  const std::wstring wide_domain = base::WidenBytes(domain);
  std::wstring host(pattern);
  for (size_t at = host.find(kTopLevelDomainMarker); at != std::wstring::npos;
       at = host.find(kTopLevelDomainMarker, at + wide_domain.size())) {
    host.replace(at, kTopLevelDomainMarker.size(), wide_domain);
  }
  return host;
}

std::wstring ManualDownloadLink(const distribution::BrandInfo& brand,
                                const distribution::DistribInfoParams& params) {
  // The map keeps its keys in ascending order.
  std::string query;
  for (const auto& [key, value] : params.values()) {
    if (IsDownloadPageParameter(key))
      query += key + "=" + EscapeArgumentBreakers(value) + "&";
  }
  query += "full=1&code=lite_install_failed";
  return L"https://" + DownloadSiteHost(TX_DOWNLOAD_SITE_HOST, brand.brand_id) + L"/download?" +
         base::WidenBytes(query);
}

}  // namespace ui
