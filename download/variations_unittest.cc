#include "download/variations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "base/file_util.h"
#include "base/log_capture_for_testing.h"

namespace download {
namespace {

TEST(EncodeBase64Test, StandardAlphabetWithFill) {
  EXPECT_EQ(EncodeBase64(""), "");
  EXPECT_EQ(EncodeBase64("f"), "Zg==");
  EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
  EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
  EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(EncodeBase64(std::string("\xfb\xff\x00\x3e", 4)), "+/8APg==");
}

class SaveVariationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = base::CreateTemporaryFileIn(base::GetTempDirectory());
    ASSERT_FALSE(path_.empty());
  }
  void TearDown() override { ::DeleteFileW(path_.c_str()); }

  std::string Read() {
    std::ifstream in(path_.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::wstring path_;
};

TEST_F(SaveVariationsTest, ReplacesTheFileWithTheMembersInOrder) {
  ASSERT_TRUE(base::WriteWholeFile(path_, std::string(300, 'x')));
  ASSERT_TRUE(SaveVariations(path_, "seed", "sig", "", "nl"));
  EXPECT_EQ(Read(),
            "{\"variations_seed_base64\": \"c2VlZA==\", \"variations_seed_signature\": \"sig\", "
            "\"variations_last_modified_time\": \"\", \"variations_country\": \"nl\"}");
}

TEST_F(SaveVariationsTest, TextThatIsNotUtf8WritesNothing) {
  ASSERT_TRUE(base::WriteWholeFile(path_, "before"));
  base::ScopedLogCapture log;
  EXPECT_FALSE(SaveVariations(path_, "seed", "sig", "", "n\xff"));
  EXPECT_EQ(Read(), "before");
  ASSERT_FALSE(log.records().empty());
  EXPECT_EQ(log.records()[0].message.rfind("Failed to serialize variations value "
                                           "variations_country: n\xff", 0),
            0u);
}

}  // namespace
}  // namespace download
