#include "distribution/user_id.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "base/fake_os_facts_for_testing.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/log_capture_for_testing.h"

namespace distribution {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr wchar_t kTestRoot[] = L"Software\\TarnixUserIdTest";
constexpr wchar_t kLegacyKey[] = L"Software\\TarnixUserIdTest\\Tarnix";
constexpr wchar_t kLowKey[] = L"Software\\TarnixUserIdTest\\AppDataLow\\Tarnix";
constexpr wchar_t kMarker[] = L"UICreated_tester";
constexpr char kGuid[] = "{0123ABCD-4567-89EF-0123-456789ABCDEF}";

class TestUserId : public UserId {
 public:
  explicit TestUserId(base::OsFacts* facts)
      : UserId(facts, UserIdMarkerKeys{kLegacyKey, kLowKey}) {}

  std::wstring GetAppDataFolder(bool create) override {
    if (app_data.empty())
      ::SetLastError(ERROR_PATH_NOT_FOUND);
    return app_data;
  }
  std::wstring GetLogonUserName() override { return user; }
  std::string CreateGuidString() override { return guid; }

  std::wstring app_data;
  std::wstring user = L"tester";
  std::string guid = kGuid;
};

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::wstring& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(std::filesystem::path(path), std::ios::binary) << content;
}

bool MarkerIsOne(const wchar_t* key) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  return ::RegGetValueW(HKEY_CURRENT_USER, key, kMarker, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS &&
         value == 1;
}

void SetMarker(const wchar_t* key) {
  base::ScopedRegKey handle;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              handle.Receive(), nullptr),
            ERROR_SUCCESS);
  const DWORD one = 1;
  ASSERT_EQ(::RegSetValueExW(handle.get(), kMarker, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&one), sizeof(one)),
            ERROR_SUCCESS);
}

class UserIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    root_ = base::CreateTemporaryDirectory(L"uid");
    ASSERT_FALSE(root_.empty());
    id_.app_data = root_;
    file_ = root_ + L"\\Tarnix\\ui";
  }
  void TearDown() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    std::filesystem::remove_all(std::filesystem::path(root_));
  }

  base::FakeOsFacts facts_;
  TestUserId id_{&facts_};
  std::wstring root_;
  std::wstring file_;
  base::ScopedLogCapture log_;
};

TEST_F(UserIdTest, FirstRunWritesFileAndMarkerOfThisWindowsVersion) {
  struct Case {
    base::OsVersion version;
    const wchar_t* written;
    const wchar_t* not_written;
  };
  const Case cases[] = {{{10, 0, 0, 0}, kLowKey, kLegacyKey},
                        {{5, 1, 0, 0}, kLegacyKey, kLowKey},
                        {{0, 0, 0, 0}, kLegacyKey, kLowKey}};  // Unknown counts as old.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version.major);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    std::filesystem::remove_all(std::filesystem::path(root_) / "Tarnix");
    facts_.version = c.version;
    id_.guid = kGuid;
    EXPECT_EQ(id_.GetUserIdInternal(), kGuid);
    EXPECT_EQ(ReadFile(file_), kGuid);
    EXPECT_TRUE(MarkerIsOne(c.written));
    EXPECT_FALSE(MarkerIsOne(c.not_written));

    id_.guid = "{must-not-be-used}";
    EXPECT_EQ(id_.GetUserIdInternal(), kGuid);
  }
}

TEST_F(UserIdTest, MarkerLocationsThatCount) {
  struct Case {
    const char* name;
    base::OsVersion version;
    const wchar_t* marker_key;
    bool counts;
  };
  const Case cases[] = {
      {"legacy key on Windows 10", {10, 0, 0, 0}, kLegacyKey, true},
      {"low key on Windows 10", {10, 0, 0, 0}, kLowKey, true},
      {"legacy key on XP", {5, 1, 0, 0}, kLegacyKey, true},
      {"low key on XP is not looked at", {5, 1, 0, 0}, kLowKey, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    std::filesystem::remove_all(std::filesystem::path(root_) / "Tarnix");
    SetMarker(c.marker_key);
    facts_.version = c.version;
    log_.Clear();
    EXPECT_EQ(id_.GetUserIdInternal(), c.counts ? "" : kGuid);
    EXPECT_EQ(log_.messages().back() ==
                  "Registry entry already exists, skip User ID file generation",
              c.counts);
    EXPECT_EQ(base::FileExists(file_), !c.counts);
  }
}

TEST_F(UserIdTest, FileContentIsTakenAsRawBytesUpTo64) {
  const std::string sixty_four = std::string(63, 'x') + "\n";
  WriteFile(file_, sixty_four);
  EXPECT_EQ(id_.GetUserIdInternal(), sixty_four);
  WriteFile(file_, " a ");
  EXPECT_EQ(id_.GetUserIdInternal(), " a ");
  EXPECT_THAT(log_.messages(), IsEmpty());
}

TEST_F(UserIdTest, BadFileIsRejectedThenMarkerDecides) {
  struct Case {
    std::string content;
    const char* warning;
  };
  const Case cases[] = {
      {"", "Incorrect User ID file content"},
      {std::string(65, 'x'), "Incorrect User ID file content"},
      {std::string(66, 'x'), "Failed to read file "},
      {std::string(4096, 'x'), "Failed to read file "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.size());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    SetMarker(kLowKey);
    WriteFile(file_, c.content);
    log_.Clear();
    EXPECT_EQ(id_.GetUserIdInternal(), "");
    EXPECT_THAT(log_.messages(),
                ElementsAre(StartsWith(c.warning),
                            "Registry entry already exists, skip User ID file generation"));
    EXPECT_STREQ(log_.records()[0].function, "ReadUserIdFromFile");
    EXPECT_STREQ(log_.records()[1].function, "GetUserIdInternal");

    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    EXPECT_EQ(id_.GetUserIdInternal(), kGuid);
    EXPECT_EQ(ReadFile(file_), kGuid);
  }
}

TEST_F(UserIdTest, UnwritableFileGivesNoIdAndNoMarkerSoTheNextRunRetries) {
  // A directory in the file's place makes the write fail.
  std::filesystem::create_directories(std::filesystem::path(file_));
  EXPECT_EQ(id_.GetUserIdInternal(), "");
  EXPECT_THAT(log_.messages(), Contains(StartsWith("Can't write file ")));
  EXPECT_FALSE(MarkerIsOne(kLowKey));

  std::filesystem::remove(std::filesystem::path(file_));
  EXPECT_EQ(id_.GetUserIdInternal(), kGuid);
}

TEST_F(UserIdTest, MarkerFailureGivesNoIdButTheNextRunReadsTheFile) {
  id_.user.clear();
  EXPECT_EQ(id_.GetUserIdInternal(), "");
  EXPECT_THAT(log_.messages(), Contains("Can't create 'UI created' entry"));
  EXPECT_EQ(ReadFile(file_), kGuid);

  id_.user = L"tester";
  EXPECT_EQ(id_.GetUserIdInternal(), kGuid);
}

TEST_F(UserIdTest, FolderFailuresGiveNoId) {
  id_.app_data.clear();
  EXPECT_EQ(id_.GetUserIdFilePath(false), L"");
  EXPECT_THAT(log_.messages(), ElementsAre(StartsWith("Can't get path to AppData folder - ")));
  EXPECT_EQ(id_.GetUserIdInternal(), "");
  EXPECT_FALSE(MarkerIsOne(kLowKey));

  // A file where the folder should be: "Tarnix" cannot be created below it.
  const std::wstring blocker = root_ + L"\\file";
  WriteFile(blocker, "x");
  id_.app_data = blocker;
  log_.Clear();
  EXPECT_EQ(id_.GetUserIdFilePath(false), blocker + L"\\Tarnix\\ui");
  EXPECT_THAT(log_.messages(), IsEmpty());
  EXPECT_EQ(id_.GetUserIdFilePath(true), L"");
  EXPECT_THAT(log_.messages(), ElementsAre(StartsWith("Can't create directory: ")));
}

TEST(UserIdGuidTest, GeneratedIdIsAnUpperCaseRegistryFormatGuid) {
  base::FakeOsFacts facts;
  struct RealGuid : UserId {
    using UserId::UserId;
    using UserId::CreateGuidString;
  } id(&facts);
  const std::string guid = id.CreateGuidString();
  ASSERT_EQ(guid.size(), 38u);
  EXPECT_EQ(guid.front(), '{');
  EXPECT_EQ(guid.back(), '}');
  for (size_t i = 1; i < 37; ++i) {
    SCOPED_TRACE(i);
    if (i == 9 || i == 14 || i == 19 || i == 24)
      EXPECT_EQ(guid[i], '-');
    else
      EXPECT_TRUE(std::isdigit(guid[i]) || (guid[i] >= 'A' && guid[i] <= 'F'));
  }
  EXPECT_NE(id.CreateGuidString(), guid);
}

}  // namespace
}  // namespace distribution
