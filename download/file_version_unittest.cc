#include "download/file_version.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/log_capture_for_testing.h"

namespace download {
namespace {

std::wstring SystemFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  ::GetSystemDirectoryW(dir, MAX_PATH);
  return base::JoinPath(dir, name);
}

TEST(FileVersionTest, ReadsVersionResourceAndLogsBothHalves) {
  base::ScopedLogCapture log;
  std::wstring path = SystemFile(L"kernel32.dll");
  uint64_t version = 0;
  ASSERT_TRUE(GetFileVersion(path, &version));
  ASSERT_NE(version, 0u);
  std::string expected = std::to_string(version >> 48) + "." +
                         std::to_string((version >> 32) & 0xFFFF) + "." +
                         std::to_string((version >> 16) & 0xFFFF) + "." +
                         std::to_string(version & 0xFFFF);
  EXPECT_EQ(FileVersionString(path), expected);
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.messages()[0], "File: " + base::WideToUtf8(path) + " Version: " +
                                   std::to_string(version >> 32) + "." +
                                   std::to_string(version & 0xFFFFFFFF));
  EXPECT_STREQ(log.records()[0].function, "GetFileVersion");
}

TEST(FileVersionTest, FilesWithoutVersionGiveZeros) {
  std::wstring dir = base::CreateTemporaryDirectory(L"ver");
  ASSERT_FALSE(dir.empty());
  std::wstring file = base::JoinPath(dir, L"plain.txt");
  {
    base::ScopedHandle handle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(handle.get(), "text", 4, &written, nullptr);
  }
  uint64_t version = 42;
  EXPECT_FALSE(GetFileVersion(file, &version));
  EXPECT_EQ(version, 42u);
  EXPECT_EQ(FileVersionString(file), "0.0.0.0");
  EXPECT_EQ(FileVersionString(base::JoinPath(dir, L"missing.exe")), "0.0.0.0");
  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(dir.c_str());
}

}  // namespace
}  // namespace download
