#include "base/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

struct Vector {
  const char* input;
  const char* hex;
};

// RFC 1321, appendix A.5.
TEST(Md5Test, Rfc1321Vectors) {
  const Vector kVectors[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const Vector& v : kVectors)
    EXPECT_EQ(Md5HexUpper(v.input), v.hex) << "input \"" << v.input << "\"";
}

// The padding needs a second block once fewer than 9 bytes are left in the
// last one; these lengths sit on either side of each boundary.
TEST(Md5Test, LengthsAroundBlockBoundaries) {
  const struct {
    size_t length;
    const char* hex;
  } kCases[] = {
      {55, "EF1772B6DFF9A122358552954AD0DF65"},  {56, "3B0C8AC703F828B04C6C197006D17218"},
      {63, "B06521F39153D618550606BE297466D5"},  {64, "014842D480B571495A4A0363793F7367"},
      {65, "C743A45E0D2E6A95CB859ADAE0248435"},  {119, "8A7BD0732ED6A28CE75F6DABC90E1613"},
      {120, "5F61C0CCAD4CAC44C75FF505E1F1E537"}, {128, "E510683B3F5FFE4093D021808BC6FF70"},
      {129, "B325DC1C6F5E7A2B7CF465B9FEAB7948"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(Md5HexUpper(std::string(c.length, 'a')), c.hex) << c.length << " bytes";
}

TEST(Md5Test, BytesAboveSevenBitsAndLongInput) {
  std::string all_bytes;
  for (int i = 0; i < 256; ++i)
    all_bytes.push_back(static_cast<char>(i));
  EXPECT_EQ(Md5HexUpper(all_bytes), "E2C865DB4162BED963BFAA9EF6AC18F0");
  EXPECT_EQ(Md5HexUpper(std::string(1000000, 'a')), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(Md5Test, DigestBytesMatchHexText) {
  const Md5Digest expected = {0x90, 0x01, 0x50, 0x98, 0x3C, 0xD2, 0x4F, 0xB0,
                              0xD6, 0x96, 0x3F, 0x7D, 0x28, 0xE1, 0x7F, 0x72};
  EXPECT_EQ(Md5("abc"), expected);
  // Embedded NULs are data, not terminators.
  EXPECT_NE(Md5(std::string("a\0b", 3)), Md5("a"));
}

}  // namespace
}  // namespace base
