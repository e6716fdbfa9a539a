#include "base/file_util.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/scoped_handle.h"
#include "base/string_conv.h"

namespace base {
namespace {

void DeleteTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  {
    ScopedFindHandle find(::FindFirstFileW(JoinPath(dir, L"*").c_str(), &data));
    if (find.is_valid()) {
      do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
          continue;
        std::wstring path = JoinPath(dir, name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          DeleteTree(path);
        else
          ::DeleteFileW(path.c_str());
      } while (::FindNextFileW(find.get(), &data));
    }
  }
  ::RemoveDirectoryW(dir.c_str());
}

bool WriteEmptyFile(const std::wstring& path) {
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.is_valid();
}

// Each test works in a fresh directory of its own, removed afterwards.
class FileUtilTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = CreateTemporaryDirectory(L"txu");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    if (!dir_.empty())
      DeleteTree(dir_);
  }

  std::wstring dir_;
};

TEST(FilePathTest, DirNameAndBaseName) {
  const struct {
    const wchar_t* path;
    const wchar_t* dir;
    const wchar_t* base;
  } kCases[] = {
      {L"C:\\a\\b.exe", L"C:\\a", L"b.exe"},
      {L"C:/a/b.exe", L"C:/a", L"b.exe"},
      {L"C:\\a/b\\c", L"C:\\a/b", L"c"},
      {L"C:\\a\\", L"C:\\a", L""},
      {L"C:\\b.exe", L"C:", L"b.exe"},
      {L"b.exe", L"", L"b.exe"},
      {L"", L"", L""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(DirName(c.path), c.dir) << WideToUtf8(c.path);
    EXPECT_EQ(BaseName(c.path), c.base) << WideToUtf8(c.path);
  }
}

TEST(FilePathTest, JoinPathPutsExactlyOneSeparatorBetween) {
  EXPECT_EQ(JoinPath(L"C:\\a", L"b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"C:\\a\\", L"b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"C:/a/", L"b"), L"C:/a/b");
  EXPECT_EQ(JoinPath(L"C:\\a", L"\\b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"C:\\a\\", L"/b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"C:\\a", L"b\\c"), L"C:\\a\\b\\c");
  EXPECT_EQ(JoinPath(L"", L"b"), L"b");
  EXPECT_EQ(JoinPath(L"C:\\a", L""), L"C:\\a\\");
}

TEST(FilePathTest, ExecutablePathNamesThisProgram) {
  // A stale error from an earlier call must not read as a truncated path.
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  std::wstring path = GetExecutablePath();
  EXPECT_EQ(ToLowerAscii(NarrowLow8(BaseName(path))), "base_unittests.exe");
  EXPECT_TRUE(FileExists(path));
}

TEST(FilePathTest, TempDirectoryEndsWithBackslashAndExists) {
  std::wstring temp = GetTempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_TRUE(DirectoryExists(temp));
}

TEST_F(FileUtilTest, CreateTemporaryDirectoryMakesDistinctDirectories) {
  std::wstring second = CreateTemporaryDirectory(L"txu");
  std::wstring third = CreateTemporaryDirectory(L"txu");
  ASSERT_FALSE(second.empty());
  ASSERT_FALSE(third.empty());
  EXPECT_NE(dir_, second);
  EXPECT_NE(second, third);
  EXPECT_NE(dir_, third);
  for (const std::wstring& dir : {dir_, second, third}) {
    EXPECT_TRUE(DirectoryExists(dir)) << WideToUtf8(dir);
    EXPECT_EQ(JoinPath(DirName(dir), L""), GetTempDirectory());
    EXPECT_EQ(BaseName(dir).substr(0, 3), L"txu");
  }
  DeleteTree(second);
  DeleteTree(third);
}

TEST_F(FileUtilTest, CreateTemporaryFileInMakesDistinctEmptyFiles) {
  std::wstring first = CreateTemporaryFileIn(dir_);
  std::wstring second = CreateTemporaryFileIn(dir_);
  EXPECT_TRUE(FileExists(first));
  EXPECT_TRUE(FileExists(second));
  EXPECT_NE(first, second);
  EXPECT_EQ(DirName(first), dir_);
  EXPECT_EQ(CreateTemporaryFileIn(L""), L"");
}

TEST_F(FileUtilTest, ExistsDistinguishesFilesFromDirectories) {
  std::wstring file = JoinPath(dir_, L"f.txt");
  ASSERT_TRUE(WriteEmptyFile(file));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(FileExists(dir_));
  EXPECT_TRUE(DirectoryExists(dir_));
  EXPECT_FALSE(PathExists(JoinPath(dir_, L"missing")));
  EXPECT_FALSE(PathExists(L""));
}

TEST_F(FileUtilTest, DirectoryHasMatchFindsFilesOnly) {
  ASSERT_TRUE(::CreateDirectoryW(JoinPath(dir_, L"x.dll").c_str(), nullptr));
  ASSERT_TRUE(WriteEmptyFile(JoinPath(dir_, L"readme.txt")));
  ASSERT_TRUE(WriteEmptyFile(JoinPath(JoinPath(dir_, L"x.dll"), L"inner.dll")));
  EXPECT_FALSE(DirectoryHasMatch(dir_, L"*.dll"));  // Not recursive either.

  ASSERT_TRUE(WriteEmptyFile(JoinPath(dir_, L"b.dll")));
  EXPECT_TRUE(DirectoryHasMatch(dir_, L"*.dll"));
  EXPECT_FALSE(DirectoryHasMatch(JoinPath(dir_, L"missing"), L"*.dll"));
}

TEST_F(FileUtilTest, CreateDirectoryTreeCreatesMissingParents) {
  std::wstring nested = JoinPath(dir_, L"a\\b\\c");
  EXPECT_TRUE(CreateDirectoryTree(nested));
  EXPECT_TRUE(DirectoryExists(nested));
  EXPECT_TRUE(CreateDirectoryTree(nested));  // Already there.
  EXPECT_TRUE(CreateDirectoryTree(JoinPath(dir_, L"d\\e\\")));
  EXPECT_TRUE(DirectoryExists(JoinPath(dir_, L"d\\e")));

  std::wstring file = JoinPath(dir_, L"file");
  ASSERT_TRUE(WriteEmptyFile(file));
  EXPECT_FALSE(CreateDirectoryTree(JoinPath(file, L"sub")));
  EXPECT_FALSE(CreateDirectoryTree(L""));
}

TEST_F(FileUtilTest, WriteWholeFileReplacesEarlierContentOrLeavesNothing) {
  const std::wstring path = JoinPath(dir_, L"f.bin");
  ASSERT_TRUE(WriteWholeFile(path, std::string(1000, 'x')));
  ASSERT_TRUE(WriteWholeFile(path, std::string_view("ab\0c", 4)));
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 4u);  // Truncated, embedded NUL kept.
  EXPECT_TRUE(WriteWholeFile(path, {}));

  // A file someone holds open cannot be replaced; it is left alone.
  ScopedHandle holder(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(WriteWholeFile(path, "new"));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  holder.reset();
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(WriteWholeFile(JoinPath(dir_, L"missing\\f.bin"), "x"));
}

}  // namespace
}  // namespace base
