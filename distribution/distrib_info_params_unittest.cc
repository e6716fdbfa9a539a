#include "distribution/distrib_info_params.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "diagnostics/crash_annotations.h"
#include "base/log_capture_for_testing.h"

namespace distribution {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using Map = std::map<std::string, std::string>;

TEST(DistribInfoParamsTest, ParseFollowsThePairGrammar) {
  struct Case {
    const char* text;
    Map expected;
  };
  const Case cases[] = {
      {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
      {"b=2&a=1", {{"a", "1"}, {"b", "2"}}},
      {"a=1&a=3", {{"a", "3"}}},
      {"a=x=y", {{"a", "x=y"}}},
      {"flag&b=2", {{"flag", ""}, {"b", "2"}}},
      {"a=1&", {{"a", "1"}}},
      {"=5", {{"", "5"}}},
      {"&a=1", {{"", ""}, {"a", "1"}}},
      {"a=&b", {{"a", ""}, {"b", ""}}},
      {"a=%41+b", {{"a", "%41+b"}}},  // Never unescaped.
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DistribInfoParams params;
    params.Parse(c.text);
    EXPECT_EQ(params.values(), c.expected);
  }
}

TEST(DistribInfoParamsTest, GetAndGetBool) {
  DistribInfoParams params;
  params.Parse("one=1&two=2&zero=0&yes=yes&empty=");
  std::string text = "unchanged";
  EXPECT_FALSE(params.Get("missing", &text));
  EXPECT_EQ(text, "unchanged");
  EXPECT_TRUE(params.Get("empty", &text));
  EXPECT_EQ(text, "");

  struct Case {
    const char* key;
    bool present;
    bool value;
  };
  const Case cases[] = {{"one", true, true}, {"two", true, false}, {"zero", false, false},
                        {"yes", false, false}, {"missing", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    bool value = !c.value;  // Must be overwritten either way.
    EXPECT_EQ(params.GetBool(c.key, &value), c.present);
    EXPECT_EQ(value, c.value);
  }
}

TEST(DistribInfoParamsTest, SerializesInKeyOrderAsUtf8LeavingOutInvalidText) {
  std::string json;
  ASSERT_TRUE(SerializeDistribInfo({{"url", "http://x/y"},
                                    {"", "\xD0\x96\"q\""},
                                    {"bad", "\xE9t\xE9"},
                                    {"bad\xFF", "1"},
                                    {std::string("n\0ul", 4), "2"},
                                    {"n", "3"}},
                                   &json));
  EXPECT_EQ(json,
            "{\n  \"\": \"\xD0\x96\\\"q\\\"\",\n  \"n\": \"3\",\n  \"n\\u0000ul\": \"2\",\n"
            "  \"url\": \"http://x/y\"\n}");
}

class FakeTagSource : public DistributionTagSource {
 public:
  std::string ExtractTagFromFakeCertificate(const std::wstring& path) override {
    calls.push_back(L"certificate:" + path);
    return certificate;
  }
  std::string ExtractTagFromSignatureTrailer(const std::wstring& path) override {
    calls.push_back(L"trailer:" + path);
    return trailer;
  }
  std::string certificate;
  std::string trailer;
  std::vector<std::wstring> calls;
};

class TestParams : public DistribInfoParams {
 public:
  void StoreInRegistry(const std::string& value) override { stored.push_back(value); }
  std::wstring GetModulePath() const override { return module_path; }
  std::wstring GetTempDirectory() const override { return temp_dir; }

  std::vector<std::string> stored;
  std::wstring module_path = L"C:\\dl\\installer.exe";
  std::wstring temp_dir;
};

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CreateJsonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::CreateTemporaryDirectory(L"dip");
    ASSERT_FALSE(dir_.empty());
    params_.temp_dir = dir_ + L"\\";
    file_ = dir_ + L"\\distrib_info";
  }
  void TearDown() override { std::filesystem::remove_all(std::filesystem::path(dir_)); }

  std::wstring dir_;
  std::wstring file_;
  TestParams params_;
  FakeTagSource tags_;
  base::ScopedLogCapture log_;
};

TEST_F(CreateJsonTest, SwitchWinsAndTagsAreNotRead) {
  tags_.certificate = "from=cert";
  // The switch is narrowed by its low 8 bits; "\xE9" is no UTF-8 and stays out.
  ASSERT_TRUE(params_.CreateJsonFromDistribParams(L"b=2&a=1&c=\u00e9", &tags_));
  EXPECT_THAT(tags_.calls, IsEmpty());
  EXPECT_THAT(params_.stored, ElementsAre("b=2&a=1&c=\xE9"));
  EXPECT_EQ(params_.distrib_info_path(), file_);
  EXPECT_EQ(ReadFile(file_), "{\n  \"a\": \"1\",\n  \"b\": \"2\"\n}");
  EXPECT_THAT(log_.messages(), IsEmpty());
}

TEST_F(CreateJsonTest, EmptySwitchFallsBackToCertificateThenTrailerNeverMerged) {
  tags_.certificate = "partner_id=7";
  tags_.trailer = "banerid=9";
  ASSERT_TRUE(params_.CreateJsonFromDistribParams(L"", &tags_));
  EXPECT_THAT(tags_.calls, ElementsAre(L"certificate:C:\\dl\\installer.exe"));
  EXPECT_THAT(params_.values(), ElementsAre(Pair("partner_id", "7")));
  EXPECT_THAT(params_.stored, ElementsAre("partner_id=7"));

  TestParams trailer_only;
  trailer_only.temp_dir = params_.temp_dir;
  tags_.certificate.clear();
  tags_.calls.clear();
  ASSERT_TRUE(trailer_only.CreateJsonFromDistribParams(L"", &tags_));
  EXPECT_THAT(tags_.calls, ElementsAre(L"certificate:C:\\dl\\installer.exe",
                                       L"trailer:C:\\dl\\installer.exe"));
  EXPECT_THAT(trailer_only.values(), ElementsAre(Pair("banerid", "9")));
  EXPECT_EQ(ReadFile(file_), "{\n  \"banerid\": \"9\"\n}");
}

TEST_F(CreateJsonTest, NothingFoundLeavesNoValueNoFileNoPath) {
  EXPECT_FALSE(params_.CreateJsonFromDistribParams(L"", &tags_));
  EXPECT_EQ(tags_.calls.size(), 2u);

  params_.module_path.clear();
  tags_.certificate = "a=1";
  tags_.calls.clear();
  EXPECT_FALSE(params_.CreateJsonFromDistribParams(L"", &tags_));
  EXPECT_THAT(tags_.calls, IsEmpty());

  EXPECT_THAT(params_.stored, IsEmpty());
  EXPECT_TRUE(params_.distrib_info_path().empty());
  EXPECT_FALSE(base::PathExists(file_));
}

// A file that cannot be replaced may hold another run's parameters; the setup
// must not be pointed at it.
TEST_F(CreateJsonTest, UnwritableFileLeavesNoPath) {
  ASSERT_TRUE(params_.CreateJsonFromDistribParams(L"old=1", &tags_));
  base::ScopedHandle locked(::CreateFileW(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(locked.is_valid());

  TestParams second;
  second.temp_dir = params_.temp_dir;
  EXPECT_FALSE(second.CreateJsonFromDistribParams(L"new=2", &tags_));
  EXPECT_TRUE(second.distrib_info_path().empty());
  EXPECT_THAT(second.stored, ElementsAre("new=2"));
  ASSERT_EQ(log_.records().size(), 1u);
  EXPECT_THAT(log_.records()[0].message, ::testing::StartsWith("Write json to file error - "));
  EXPECT_STREQ(log_.records()[0].function, "CreateJsonFromDistribParams");
  EXPECT_EQ(log_.records()[0].severity, base::Severity::kWarning);
}

TEST_F(CreateJsonTest, UnknownTempDirectoryWritesNothing) {
  params_.temp_dir.clear();
  EXPECT_FALSE(params_.CreateJsonFromDistribParams(L"a=1", &tags_));
  EXPECT_TRUE(params_.distrib_info_path().empty());
  EXPECT_FALSE(base::PathExists(L"distrib_info"));
  EXPECT_THAT(log_.messages(), ElementsAre(::testing::StartsWith("Write json to file error")));
}

TEST(DistribInfoParamsTest, AnnotatesOnlyPairsWithKeyAndValueAndNeverReplaces) {
  DistribInfoParams params;
  params.Parse("partner_id=7&flag&=5&banerid=x&uid=forged&prod=Other");
  diagnostics::CrashAnnotations annotations;
  annotations.Set("uid", "client");
  annotations.Set("prod", "Tarnix");
  params.AnnotateCrashReports(&annotations);
  EXPECT_THAT(annotations.Snapshot(),
              ElementsAre(Pair("banerid", "x"), Pair("partner_id", "7"), Pair("prod", "Tarnix"),
                          Pair("uid", "client")));
}

}  // namespace
}  // namespace distribution
