#include "distribution/der_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace distribution {
namespace {

using namespace std::string_literals;

TEST(DerReaderTest, ReadsShortAndLongFormLengths) {
  struct Case {
    std::string bytes;
    size_t header_size;
    uint32_t content_size;
  };
  const Case cases[] = {
      {"\x30\x00"s, 2, 0},
      {"\x30\x7F"s, 2, 0x7F},
      {"\x30\x81\x80"s, 3, 0x80},
      {"\x30\x82\x01\x02"s, 4, 0x102},
      {"\x30\x83\x01\x02\x03"s, 5, 0x10203},
      {"\x30\x84\xFF\xFF\xFF\xFF"s, 6, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    DerReader::Header header;
    ASSERT_TRUE(DerReader(c.bytes).ReadHeader(&header)) << testing::PrintToString(c.bytes);
    EXPECT_EQ(header.header_size, c.header_size);
    EXPECT_EQ(header.content_size, c.content_size);
  }
}

TEST(DerReaderTest, RejectsLengthOfLengthZeroOrAboveFour) {
  for (const std::string& bytes : {"\x30\x80\x00\x00"s, "\x30\x85\x00\x00\x00\x00\x01\x00"s}) {
    DerReader::Header header;
    EXPECT_FALSE(DerReader(bytes).ReadHeader(&header));
    EXPECT_FALSE(header.valid_length_form);
    DerReader reader(bytes);
    EXPECT_FALSE(reader.Enter());
    EXPECT_FALSE(reader.Skip());
  }
}

TEST(DerReaderTest, TruncatedHeaderIsNotALengthFormError) {
  for (const std::string& bytes : {"\x30"s, "\x30\x82\x01"s, ""s}) {
    DerReader::Header header;
    EXPECT_FALSE(DerReader(bytes).ReadHeader(&header));
    EXPECT_TRUE(header.valid_length_form);
  }
}

TEST(DerReaderTest, EnterNarrowsAndSkipAdvances) {
  // SEQUENCE { INTEGER 5, OCTET STRING "ab" } followed by a NULL.
  const std::string bytes = "\x30\x07\x02\x01\x05\x04\x02" "ab" "\x05\x00"s;
  DerReader reader(bytes);
  ASSERT_TRUE(reader.Enter());
  EXPECT_EQ(reader.position(), 2u);
  EXPECT_EQ(reader.end(), 9u);
  ASSERT_TRUE(reader.Skip());
  DerReader octets = reader;
  ASSERT_TRUE(octets.Enter());
  EXPECT_EQ(octets.Remaining(), "ab");
  ASSERT_TRUE(reader.Skip());
  EXPECT_TRUE(reader.AtEnd());
  // The NULL after the entered window stays out of reach.
  EXPECT_FALSE(reader.Skip());
  EXPECT_FALSE(reader.Enter());
}

TEST(DerReaderTest, ElementLongerThanItsWindowLeavesReaderUnchanged) {
  // The inner OCTET STRING claims 5 bytes; its SEQUENCE holds only 4.
  const std::string bytes = "\x30\x04\x04\x05" "ab" "cdefgh"s;
  DerReader reader(bytes);
  ASSERT_TRUE(reader.Enter());
  EXPECT_FALSE(reader.Enter());
  EXPECT_FALSE(reader.Skip());
  EXPECT_EQ(reader.position(), 2u);
  EXPECT_EQ(reader.end(), 6u);
}

TEST(DerReaderTest, HugeLengthDoesNotWrap) {
  // 0xFFFFFFFF plus the header would wrap a 32-bit size_t back into range.
  const std::string bytes = "\x30\x84\xFF\xFF\xFF\xFF" "abcdef"s;
  DerReader reader(bytes);
  EXPECT_FALSE(reader.Skip());
  EXPECT_FALSE(reader.Enter());
  EXPECT_EQ(reader.position(), 0u);
}

TEST(DerReaderTest, SkipElementsStopsAtFirstFailure) {
  const std::string bytes = "\x05\x00\x05\x00\x05\x05"s;
  DerReader reader(bytes);
  EXPECT_FALSE(reader.SkipElements(3));
  EXPECT_EQ(reader.position(), 4u);
}

TEST(DerReaderTest, StartOffsetAndNarrowingAreClamped) {
  const std::string bytes = "\x05\x00\x05\x00"s;
  EXPECT_TRUE(DerReader(bytes, 10).AtEnd());
  DerReader reader(bytes, 2);
  EXPECT_EQ(reader.Narrowed(100).end(), 4u);
  EXPECT_EQ(reader.Narrowed(3).Remaining(), "\x05"s);
  EXPECT_FALSE(reader.Narrowed(3).Skip());
  EXPECT_TRUE(reader.Narrowed(0).AtEnd());
}

}  // namespace
}  // namespace distribution
