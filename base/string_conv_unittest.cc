#include "base/string_conv.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

TEST(StringConvTest, WidenBytesKeepsHighBytesUnsigned) {
  // A sign-extending widening would give 0xFF80 and 0xFFFF here.
  EXPECT_EQ(WidenBytes("A\x80\xFF"), std::wstring(L"A\x0080\x00FF"));
  EXPECT_EQ(WidenBytes(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(WidenBytes(""), L"");
}

TEST(StringConvTest, NarrowLow8DropsTheHighByte) {
  EXPECT_EQ(NarrowLow8(L"\x0141\x20AC\x00E9z"), std::string("\x41\xAC\xE9z"));
  EXPECT_EQ(NarrowLow8(L"\xFF00"), std::string(1, '\0'));
  // Widening and narrowing are inverse for every byte value.
  std::string all_bytes;
  for (int i = 0; i < 256; ++i)
    all_bytes.push_back(static_cast<char>(i));
  EXPECT_EQ(NarrowLow8(WidenBytes(all_bytes)), all_bytes);
}

TEST(StringConvTest, Utf8RoundTrip) {
  // Cyrillic, the euro sign, and U+1F600 as a surrogate pair.
  const std::wstring wide = L"\x041F\x0440\x0438 \x20AC \xD83D\xDE00";
  const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8 \xE2\x82\xAC \xF0\x9F\x98\x80";
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(Utf8ToWide(utf8), wide);
  EXPECT_EQ(WideToUtf8(L"plain"), "plain");
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(StringConvTest, InvalidUtf8IsReplacedNotRejected) {
  EXPECT_EQ(Utf8ToWide("a\xFF" "b"), std::wstring(L"a\xFFFD" L"b"));
}

TEST(StringConvTest, TrimWhitespace) {
  EXPECT_EQ(TrimWhitespace(L" \t\r\nkey = value \r\n"), L"key = value");
  EXPECT_EQ(TrimWhitespace(L"x"), L"x");
  EXPECT_EQ(TrimWhitespace(L" \t\r\n "), L"");
  EXPECT_EQ(TrimWhitespace(L""), L"");
  // Only the four listed characters count as blanks.
  EXPECT_EQ(TrimWhitespace(L"\x00A0x\v"), std::wstring(L"\x00A0x\v"));
}

TEST(StringConvTest, ParseUnsignedDecimalAcceptsDigitsOnly) {
  uint64_t value = 99;
  EXPECT_TRUE(ParseUnsignedDecimal(L"0", &value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(ParseUnsignedDecimal(L"00042", &value));
  EXPECT_EQ(value, 42u);
  EXPECT_TRUE(ParseUnsignedDecimal(L"18446744073709551615", &value));
  EXPECT_EQ(value, UINT64_MAX);
}

TEST(StringConvTest, ParseUnsignedDecimalRejectsGarbageKeepingLeadingDigits) {
  const struct {
    const wchar_t* text;
    uint64_t leading_value;
  } kCases[] = {
      {L"", 0},      {L"12abc", 12}, {L"abc", 0},   {L" 12", 0},
      {L"12 ", 12},  {L"-1", 0},     {L"+1", 0},    {L"1.5", 1},
      {L"\xFF11", 0},  // A full-width digit one.
  };
  for (const auto& c : kCases) {
    uint64_t value = 99;
    EXPECT_FALSE(ParseUnsignedDecimal(c.text, &value)) << "\"" << WideToUtf8(c.text) << "\"";
    EXPECT_EQ(value, c.leading_value) << "\"" << WideToUtf8(c.text) << "\"";
  }
}

TEST(StringConvTest, ParseUnsignedDecimalRejectsOverflow) {
  uint64_t value = 0;
  EXPECT_FALSE(ParseUnsignedDecimal(L"18446744073709551616", &value));
  EXPECT_FALSE(ParseUnsignedDecimal(L"99999999999999999999", &value));
  EXPECT_FALSE(ParseUnsignedDecimal(L"184467440737095516150", &value));
}

TEST(StringConvTest, FormatsIntegersWithoutPrintf) {
  EXPECT_EQ(NumberToWString(0), L"0");
  EXPECT_EQ(NumberToWString(-42), L"-42");
  EXPECT_EQ(NumberToWString(4294967295u), L"4294967295");
  EXPECT_EQ(NumberToWString(INT64_MIN), L"-9223372036854775808");
  EXPECT_EQ(NumberToWString(UINT64_MAX), L"18446744073709551615");

  EXPECT_EQ(HexString(0), "0");
  EXPECT_EQ(HexString(0x2ABCDEF), "2abcdef");
  EXPECT_EQ(HexString(UINT64_MAX), "ffffffffffffffff");

  std::string text = "x";
  AppendZeroPadded(7, 3, &text);
  AppendZeroPadded(12345, 2, &text);  // Wider than asked: all digits.
  AppendZeroPadded(0, 0, &text);
  EXPECT_EQ(text, "x007123450");
}

TEST(StringConvTest, ToLowerAsciiLeavesOtherBytesAlone) {
  EXPECT_EQ(ToLowerAscii("Brand-NAME_09 @[`{"), "brand-name_09 @[`{");
  EXPECT_EQ(ToLowerAscii("\xC4\xD6"), "\xC4\xD6");
}

}  // namespace
}  // namespace base
