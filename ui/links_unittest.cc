#include "ui/links.h"

#include <gtest/gtest.h>

#include <string>

#include "build_config.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"

namespace ui {
namespace {

distribution::BrandInfo Brand(const std::string& brand_id) {
  distribution::BrandInfo brand;
  brand.brand_id = brand_id;
  brand.default_language = "pt-BR";
  brand.license_url = "https://legal/agreement/";
  brand.conf_policy_url = "https://legal/privacy/";
  return brand;
}

TEST(LinksTest, LegalLinksCarryTheBrandLanguageAndWidenBytes) {
  distribution::BrandInfo brand = Brand("tarnix");
  EXPECT_EQ(LicenseLink(brand), L"https://legal/agreement/?lang=pt-BR");
  EXPECT_EQ(PrivacyLink(brand), L"https://legal/privacy/?lang=pt-BR");

  // Configured URLs are narrow bytes; each one becomes one UTF-16 unit.
  brand.license_url = "https://legal/caf\xC3\xA9";
  brand.default_language = "";
  EXPECT_EQ(LicenseLink(brand), L"https://legal/caf\u00C3\u00A9?lang=");

  // The language may come from the tag: it cannot end the link's argument.
  brand.default_language = "ru\" --new-window x\t";
  EXPECT_EQ(LicenseLink(brand), L"https://legal/caf\u00C3\u00A9?lang=ru%22%20--new-window%20x%09");
}

TEST(LinksTest, DownloadSiteFollowsTheBrandRegion) {
  const struct {
    const char* brand_id;
    const wchar_t* host;
  } kCases[] = {
      {"by", L"site.by"},     {"int", L"site.com"},  {"tb", L"site.com.tr"},
      {"ua", L"site.ua"},     {"ua-uk", L"site.ua"}, {"ua-ru", L"site.ua"},
      {"tarnix", L"site.ru"}, {"kz", L"site.ru"},    {"", L"site.ru"},
      {"TB", L"site.ru"},     {"tb ", L"site.ru"},   {"ua-", L"site.ru"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(DownloadSiteHost(L"site.@TLD@", c.brand_id), c.host) << c.brand_id;

  EXPECT_EQ(DownloadSiteHost(L"@TLD@.site.@TLD@:8443", "tb"), L"com.tr.site.com.tr:8443");
  EXPECT_EQ(DownloadSiteHost(L"localhost:18443", "tb"), L"localhost:18443");
  EXPECT_EQ(DownloadSiteHost(L"site.@tld@", "tb"), L"site.@tld@");
}

TEST(LinksTest, ManualDownloadLinkWithoutParametersEndsWithTheFailureCode) {
  const std::wstring expected = L"https://" + DownloadSiteHost(TX_DOWNLOAD_SITE_HOST, "tb") +
                                L"/download?full=1&code=lite_install_failed";
  distribution::DistribInfoParams params;
  EXPECT_EQ(ManualDownloadLink(Brand("tb"), params), expected);

  params.Set("partner", "7");
  params.Set("clid", "1");
  params.Set("Lang", "ru");
  EXPECT_EQ(ManualDownloadLink(Brand("tb"), params), expected);
}

TEST(LinksTest, ManualDownloadLinkPassesListedParametersInKeyOrderOnlyBreakersEscaped) {
  distribution::DistribInfoParams params;
  // Inserted out of order, with unlisted keys next to listed ones.
  params.Set("velarin", "v 1\"");
  params.Set("tnpartner_id", "tn");
  params.Set("partner_id", "p&q=r");
  params.Set("ondix", "o");
  params.Set("lang", "");
  params.Set("football", "f");
  params.Set("expvelarin", "e%20");
  params.Set("custo", "c");
  params.Set("bgid", "g");
  params.Set("betacusto", "bc");
  params.Set("beta", "b");
  params.Set("banerid", "\xE9");
  params.Set("velarins", "x");
  params.Set("a", "x");
  params.Set("zz", "x");

  EXPECT_EQ(ManualDownloadLink(Brand("ua-uk"), params),
            L"https://" + DownloadSiteHost(TX_DOWNLOAD_SITE_HOST, "ua") +
                L"/download?banerid=\u00E9&beta=b&betacusto=bc&bgid=g&custo=c&expvelarin=e%20"
                L"&football=f&lang=&ondix=o&partner_id=p&q=r&tnpartner_id=tn&velarin=v%201%22"
                L"&full=1&code=lite_install_failed");
}

}  // namespace
}  // namespace ui
