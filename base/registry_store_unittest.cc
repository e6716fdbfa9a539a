#include "base/registry_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/log_capture_for_testing.h"

namespace base {
namespace {

using ::testing::ElementsAre;

constexpr wchar_t kTestKey[] = L"Software\\Tarnix\\RegistryStoreTest";

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }

  void WriteRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    base::ScopedRegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }

  base::ScopedLogCapture log_;
};

TEST_F(RegistryStoreTest, StoreCreatesMissingKeyAndReadsBack) {
  ASSERT_TRUE(StoreValueInRegistry(HKEY_CURRENT_USER, kTestKey, L"brand", L"tarnix"));
  std::wstring value = L"unchanged";
  ASSERT_TRUE(ReadValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"brand", &value));
  EXPECT_EQ(value, L"tarnix");
  EXPECT_THAT(log_.messages(),
              ElementsAre("Stored HKEY_CURRENT_USER\\Software\\Tarnix\\RegistryStoreTest\\brand"
                          " = tarnix",
                          "Read HKEY_CURRENT_USER\\Software\\Tarnix\\RegistryStoreTest\\brand"
                          "which is \"tarnix\""));
  EXPECT_STREQ(log_.records()[0].function, "StoreValueInRegistry");
  EXPECT_STREQ(log_.records()[1].function, "ReadValueFromRegistry");
}

TEST_F(RegistryStoreTest, MissingOrWrongTypeReadsAsFailureAndKeepsOutput) {
  DWORD number = 7;
  WriteRaw(L"number", REG_DWORD, &number, sizeof(number));
  std::wstring value = L"unchanged";
  EXPECT_FALSE(ReadValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"number", &value));
  EXPECT_FALSE(ReadValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"absent", &value));
  EXPECT_FALSE(ReadValueFromRegistry(HKEY_CURRENT_USER, L"Software\\Tarnix\\NoSuchKey",
                                     L"brand", &value));
  EXPECT_EQ(value, L"unchanged");
  EXPECT_EQ(log_.messages()[0],
            "Failed to read HKEY_CURRENT_USER\\Software\\Tarnix\\RegistryStoreTest\\number");
}

TEST_F(RegistryStoreTest, ExpandsEnvironmentReferences) {
  ::SetEnvironmentVariableW(L"TX_REGISTRY_TEST_DIR", L"C:\\expanded");
  const wchar_t text[] = L"%TX_REGISTRY_TEST_DIR%\\file.txt";
  WriteRaw(L"path", REG_EXPAND_SZ, text, sizeof(text));
  std::wstring value;
  ASSERT_TRUE(ReadValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"path", &value));
  EXPECT_EQ(value, L"C:\\expanded\\file.txt");
}

TEST_F(RegistryStoreTest, OverlongValuesAreFailures) {
  // More than the 2048-byte read buffer.
  std::wstring long_value(1500, L'x');
  ASSERT_TRUE(StoreValueInRegistry(HKEY_CURRENT_USER, kTestKey, L"long", long_value));
  std::wstring value;
  EXPECT_FALSE(ReadValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"long", &value));
  // Fits the buffer, but expands past 1024 characters.
  ::SetEnvironmentVariableW(L"TX_REGISTRY_TEST_LONG", std::wstring(900, L'y').c_str());
  const wchar_t text[] = L"%TX_REGISTRY_TEST_LONG%%TX_REGISTRY_TEST_LONG%";
  WriteRaw(L"expands", REG_EXPAND_SZ, text, sizeof(text));
  EXPECT_FALSE(ReadValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"expands", &value));
  EXPECT_TRUE(value.empty());
}

TEST_F(RegistryStoreTest, ReadsDataWithoutTerminatingZero) {
  const wchar_t text[] = {L'a', L'b', L'c'};
  WriteRaw(L"bare", REG_SZ, text, sizeof(text));
  std::wstring value;
  ASSERT_TRUE(ReadValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"bare", &value));
  EXPECT_EQ(value, L"abc");
}

TEST_F(RegistryStoreTest, RemoveLogsBothOutcomes) {
  ASSERT_TRUE(StoreValueInRegistry(HKEY_CURRENT_USER, kTestKey, L"gone", L"1"));
  log_.Clear();
  EXPECT_TRUE(RemoveValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"gone"));
  EXPECT_FALSE(RemoveValueFromRegistry(HKEY_CURRENT_USER, kTestKey, L"gone"));
  EXPECT_THAT(log_.messages(),
              ElementsAre("Removed HKEY_CURRENT_USER\\Software\\Tarnix\\RegistryStoreTest\\gone",
                          "Failed to remove "
                          "HKEY_CURRENT_USER\\Software\\Tarnix\\RegistryStoreTest\\gone"));
}

TEST_F(RegistryStoreTest, InstallerKeyShortcutsAndFilePaths) {
  EXPECT_EQ(InstallerKey(), L"Software\\Tarnix\\TarnixBrowser");
  std::wstring dir = base::CreateTemporaryDirectory(L"reg");
  ASSERT_FALSE(dir.empty());
  std::wstring file = base::JoinPath(dir, L"brand.cab");
  base::ScopedHandle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                   nullptr));
  ASSERT_TRUE(StoreValue(L"RegistryStoreTestFile", file));
  EXPECT_EQ(ReadValue(L"RegistryStoreTestFile"), file);
  EXPECT_EQ(ReadFilePathFromRegistry(L"RegistryStoreTestFile"), file);
  log_.Clear();

  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(dir.c_str());
  EXPECT_EQ(ReadFilePathFromRegistry(L"RegistryStoreTestFile"), L"");
  EXPECT_EQ(log_.messages().back(),
            "Read HKEY_CURRENT_USER\\Software\\Tarnix\\TarnixBrowser\\RegistryStoreTestFile "
            "which is \"\"");
  EXPECT_STREQ(log_.records().back().function, "ReadFilePathFromRegistry");
  EXPECT_TRUE(RemoveValue(L"RegistryStoreTestFile"));
  EXPECT_EQ(ReadValue(L"RegistryStoreTestFile"), L"");
}

}  // namespace
}  // namespace base
