#include "base/private_directory.h"

#include <gtest/gtest.h>

#include <string>

#include "base/file_util.h"
#include "base/scoped_handle.h"

namespace base {
namespace {

std::string ReadAll(const std::wstring& path) {
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (file.is_valid() && ::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0)
    text.append(buffer, read);
  return text;
}

TEST(PrivateDirectoryTest, CopiesThroughTheHandleAndLeavesNothingBehind) {
  const std::wstring parent = CreateTemporaryDirectory(L"prv");
  ASSERT_FALSE(parent.empty());
  // Larger than the copy buffer and not a multiple of it.
  std::string content(200 * 1024 + 7, '\0');
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<char>(i * 31 + i / 4096);
  const std::wstring source_path = JoinPath(parent, L"source.arc");
  {
    ScopedHandle source(::CreateFileW(source_path.c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(source.get(), content.data(), static_cast<DWORD>(content.size()),
                            &written, nullptr));
  }
  std::wstring folder, copy;
  {
    ScopedHandle source(::CreateFileW(source_path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    PrivateDirectory first, second;
    ASSERT_TRUE(first.Create(parent));
    ASSERT_TRUE(second.Create(parent));
    EXPECT_NE(first.path(), second.path());
    folder = first.path();
    EXPECT_EQ(DirName(folder), parent);
    copy = first.CopyFrom(source.get(), L"setup.arc");
    ASSERT_EQ(copy, JoinPath(folder, L"setup.arc"));
    EXPECT_EQ(ReadAll(copy), content);
    // A name that exists already is never written over.
    EXPECT_TRUE(first.CopyFrom(source.get(), L"setup.arc").empty());
  }
  EXPECT_FALSE(PathExists(copy));
  EXPECT_FALSE(PathExists(folder));
  EXPECT_EQ(ReadAll(source_path), content);

  PrivateDirectory missing_parent;
  EXPECT_FALSE(missing_parent.Create(JoinPath(parent, L"no\\such")));
  EXPECT_TRUE(missing_parent.CopyFrom(nullptr, L"x").empty());
  ::DeleteFileW(source_path.c_str());
  ::RemoveDirectoryW(parent.c_str());
}

}  // namespace
}  // namespace base
