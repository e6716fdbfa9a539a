#include "distribution/brand_config.h"

#include <gtest/gtest.h>

#include <string>

#include "distribution/brand_info.h"

namespace distribution {
namespace {

std::string Strip(const std::string& text) {
  std::string json = "untouched";
  if (!StripJsonComments(text, &json))
    return "<error, " + json + ">";
  return json;
}

TEST(StripJsonCommentsTest, RemovesCommentsOutsideStringsOnly) {
  EXPECT_EQ(Strip("// c2lnbmF0dXJl+/=\n{\"a\": 1} // tail"), "\n{\"a\": 1} ");
  EXPECT_EQ(Strip("{\"u\": \"https://host//x\"}"), "{\"u\": \"https://host//x\"}");
  EXPECT_EQ(Strip("{\"u\": \"/* not a comment */\"}"), "{\"u\": \"/* not a comment */\"}");
  // An escaped quote does not end the string, an escaped backslash does not
  // escape the closing quote.
  EXPECT_EQ(Strip("[\"a\\\"//b\", \"c\\\\\"]// x"), "[\"a\\\"//b\", \"c\\\\\"]");
  // A block comment separates the tokens around it and keeps every later
  // token on its line and column (a character, not a byte, per blank).
  EXPECT_EQ(Strip("[1/* a\n b */2]"), "[1    \n     2]");
  EXPECT_EQ(Strip("[1/**/,/*/ \xD0\xAF*/2]"), "[1    ,       2]");
  EXPECT_EQ(Strip("\r\n//x\r\n[]"), "\r\n\n[]");
  EXPECT_EQ(Strip("[1] /"), "[1] /");  // Left for the parser to reject.
}

TEST(StripJsonCommentsTest, UnterminatedCommentOrStringIsAnError) {
  EXPECT_EQ(Strip("{\"a\": 1} /* open"), "<error, untouched>");
  EXPECT_EQ(Strip("{\"a\": 1} /*/"), "<error, untouched>");
  EXPECT_EQ(Strip("{\"a\": \"open}"), "<error, untouched>");
  EXPECT_EQ(Strip("{\"a\": \"ends in escape\\"), "<error, untouched>");
}

TEST(BrandConfigTest, ReadsSignedConfigurationWithNestedKeys) {
  const std::string config =
      "//MEUCIQDk9Rk1Xy0aHh8uZ3Jl8x2vP+Q1c1oEw0hYd4gQpX7lQwIgVq3ZmT2s6sP9b1Xq7b0U0wq/6o=\n"
      "{\n"
      "  \"brand_id\": \"int\", // the brand\n"
      "  \"brand_name\": \"International\",\n"
      "  \"partner_id\": \"p1\",\n"
      "  \"license_url\": \"https://legal//eula\",\n"
      "  /* Values for the installer. */\n"
      "  \"install\": {\n"
      "    \"setup_url\": \"https://cdn//a/browser-setup.arc\",\n"
      "    \"setup_url_version\": \"https://cdn/v\",\n"
      "    \"setup_url64\": \"https://cdn/64\",\n"
      "    \"setup_url_version64\": \"https://cdn/v64\",\n"
      "    \"setup_url32\": \"https://cdn/32\",\n"
      "    \"conf_policy_url\": \"https://legal/privacy\",\n"
      "    \"scenarios_url\": \"https://cdn/scenarios\",\n"
      "    \"slide_url\": \"https://cdn/slide\",\n"
      "    \"slide_url_if_tagged\": \"https://cdn/tagged\",\n"
      "    \"preloaded_wallpapers_url\": \"https://cdn/wallpapers\",\n"
      "    \"quova_taskbar_shortcut_promt\": true,\n"
      "    \"alternate_installer_title\": true,\n"
      "    \"send_statistics\": false,\n"
      "    \"make_browser_default\": false,\n"
      "    \"need_ppapi_flash\": true\n"
      "  },\n"
      "  \"urls\": {\"variations\": \"https://exp/seed?x=1\", \"abt\": \"https://abt/c\"},\n"
      "  \"languages\": {\"interface\": \"uk\"}\n"
      "}\n";
  BrandInfo info;
  ASSERT_TRUE(FillBrandInfoFromConfig(config, &info));
  EXPECT_EQ(info.brand_id, "int");
  EXPECT_EQ(info.brand_name, "International");
  EXPECT_EQ(info.partner_id, "p1");
  EXPECT_EQ(info.license_url, "https://legal//eula");
  EXPECT_EQ(info.setup_url, "https://cdn//a/browser-setup.arc");
  EXPECT_EQ(info.setup_url_version, "https://cdn/v");
  EXPECT_EQ(info.setup_url64, "https://cdn/64");
  EXPECT_EQ(info.setup_url_version64, "https://cdn/v64");
  EXPECT_EQ(info.setup_url32, "https://cdn/32");
  EXPECT_EQ(info.conf_policy_url, "https://legal/privacy");
  EXPECT_EQ(info.scenarios_url, "https://cdn/scenarios");
  EXPECT_EQ(info.slide_url, "https://cdn/slide");
  EXPECT_EQ(info.slide_url_if_tagged, "https://cdn/tagged");
  EXPECT_EQ(info.preloaded_wallpapers_url, "https://cdn/wallpapers");
  EXPECT_EQ(info.variations_url, "https://exp/seed?x=1");
  EXPECT_EQ(info.abt_url, "https://abt/c");
  EXPECT_EQ(info.default_language, "uk");
  EXPECT_EQ(info.language_id, 1058);
  EXPECT_EQ(info.quova_taskbar_shortcut_promt, kTriTrue);
  EXPECT_EQ(info.alternate_installer_title, kTriTrue);
  EXPECT_EQ(info.send_statistics, kTriFalse);
  EXPECT_EQ(info.make_browser_default, kTriFalse);
  EXPECT_EQ(info.need_ppapi_flash, kTriTrue);
}

TEST(BrandConfigTest, InstallKeysFallBackToTheTopLevel) {
  BrandInfo info;
  ASSERT_TRUE(FillBrandInfoFromConfig(
      "{\"send_statistics\": false, \"setup_url\": \"https://top\","
      " \"slide_url\": \"https://top/slide\", \"need_ppapi_flash\": true,"
      " \"install\": {\"slide_url\": \"https://nested/slide\", \"need_ppapi_flash\": 1},"
      " \"variations\": \"https://not-a-fallback\"}",
      &info));
  EXPECT_EQ(info.send_statistics, kTriFalse);
  EXPECT_FALSE(info.ShouldSendStatistics());
  EXPECT_EQ(info.setup_url, "https://top");
  EXPECT_EQ(info.slide_url, "https://nested/slide");  // The nested key comes first.
  EXPECT_EQ(info.need_ppapi_flash, kTriTrue);         // Nested of the wrong type.
  EXPECT_EQ(info.variations_url, "");                 // Only "install." falls back.
}

TEST(BrandConfigTest, ValuesOfTheWrongTypeCountAsAbsent) {
  BrandInfo info;
  ASSERT_TRUE(FillBrandInfoFromConfig(
      "{\"brand_id\": 5, \"brand_name\": null, \"partner_id\": [\"p\"], \"scale\": 1.25e0,"
      " \"license_url\": {\"u\": \"x\"}, \"urls\": \"https://flat\", \"urls.abt\": \"x\","
      " \"languages\": {\"interface\": true},"
      " \"install\": {\"send_statistics\": \"false\", \"make_browser_default\": 0,"
      "   \"alternate_installer_title\": null, \"setup_url\": false}}",
      &info));
  EXPECT_EQ(info.brand_id, "");
  EXPECT_EQ(info.brand_name, "");
  EXPECT_EQ(info.partner_id, "");
  EXPECT_EQ(info.license_url, "");
  EXPECT_EQ(info.variations_url, "");
  EXPECT_EQ(info.abt_url, "");
  EXPECT_EQ(info.default_language, "");
  EXPECT_EQ(info.setup_url, "");
  EXPECT_EQ(info.send_statistics, kTriUnset);
  EXPECT_EQ(info.make_browser_default, kTriUnset);
  EXPECT_EQ(info.alternate_installer_title, kTriUnset);
  EXPECT_TRUE(info.ShouldSendStatistics());  // Absent means yes.
  EXPECT_EQ(info.language_id, 1033);
}

TEST(BrandConfigTest, EarlierValuesWin) {
  // The partner configuration is read first.
  BrandInfo info;
  ASSERT_TRUE(FillBrandInfoFromConfig(
      "{\"install\": {\"setup_url\": \"https://partner\", \"send_statistics\": false}}",
      &info));
  ASSERT_TRUE(FillBrandInfoFromConfig(
      "{\"brand_id\": \"int\", \"partner_id\": \"\","
      " \"install\": {\"setup_url\": \"https://brand\", \"send_statistics\": true}}",
      &info));
  EXPECT_EQ(info.setup_url, "https://partner");
  EXPECT_EQ(info.send_statistics, kTriFalse);
  EXPECT_EQ(info.brand_id, "int");
  // An empty string leaves the field open for a later source.
  ASSERT_TRUE(FillBrandInfoFromConfig("{\"partner_id\": \"later\"}", &info));
  EXPECT_EQ(info.partner_id, "later");
}

TEST(BrandConfigTest, LanguageIdFollowsTheLanguageOnEveryParse) {
  BrandInfo info;
  info.default_language = "tr";
  info.language_id = 1049;
  ASSERT_TRUE(FillBrandInfoFromConfig("{\"languages\": {\"interface\": \"ru\"}}", &info));
  EXPECT_EQ(info.default_language, "tr");
  EXPECT_EQ(info.language_id, 1055);
}

TEST(BrandConfigTest, EscapedNulInAnotherKeyIsNoSyntaxError) {
  BrandInfo info;
  EXPECT_TRUE(FillBrandInfoFromConfig("{\"browser\": \"a\\u0000b\", \"brand_id\": \"tb\"}",
                                      &info));
  EXPECT_EQ(info.brand_id, "tb");
}

TEST(BrandConfigTest, ByteOrderMarkIsSkipped) {
  BrandInfo info;
  ASSERT_TRUE(FillBrandInfoFromConfig("\xEF\xBB\xBF// sig\n{\"brand_id\": \"tb\"}", &info));
  EXPECT_EQ(info.brand_id, "tb");
}

// Each refusal says where, in lines and characters of the original text, so
// that a distributor finds the fault in the file.
TEST(BrandConfigTest, BrokenConfigurationChangesNothingAndSaysWhere) {
  struct Case {
    const char* text;
    int line;
    int column;
    const char* reason;  // The start of the parser's text.
  };
  const Case kBroken[] = {
      // Cut in half, inside a string and after a member.
      {"// sig\n{\n  \"brand_id\": \"int\",\n  \"install\": {\"setup_url\": \"https://x/y",
       4, 28, "string not terminated"},
      {"// sig\n{\n  \"brand_id\": \"int\",\n", 4, 1, "string or '}' expected"},
      // windows-1251 "Мой" is not UTF-8.
      {"// sig\n{\n  \"brand_id\": \"int\",\n  \"brand_name\": \"\xCC\xEE\xE9\"\n}", 4, 0,
       "unable to decode byte 0xcc"},
      // A block comment before the fault does not move it.
      {"/* \xD0\xAF\n */ {\"brand_id\": \"int\"} trailing", 2, 0, "end of file expected"},
      {"{\"brand_id\": \"int\"}\n  /* unterminated", 2, 3, "comment not terminated"},
      {"\n [{\"brand_id\": \"int\"}]", 2, 2, "not a JSON object"},
      {"", 1, 1, "'[' or '{' expected"},
      // Real numbers go through the C library's conversion, which reports
      // a value out of range.
      {"{\"brand_id\": \"int\", \"scale\": 1e999}", 1, 0, "real number overflow"},
  };
  for (const Case& broken : kBroken) {
    SCOPED_TRACE(broken.text);
    BrandInfo info;
    info.language_id = 7;
    ConfigError error;
    EXPECT_FALSE(FillBrandInfoFromConfig(broken.text, &info, &error));
    EXPECT_EQ(info.brand_id, "");
    EXPECT_EQ(info.language_id, 7);
    EXPECT_EQ(error.text.rfind(broken.reason, 0), 0u) << error.text << " " << error.line << ":" << error.column;
    EXPECT_EQ(error.line, broken.line);
    if (broken.column)
      EXPECT_EQ(error.column, broken.column);
    else
      EXPECT_GT(error.column, 0);
  }
}

}  // namespace
}  // namespace distribution
