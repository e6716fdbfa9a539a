#include "download/download_sink.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/file_util.h"
#include "base/scoped_handle.h"

namespace download {
namespace {

// A disk that fills up after `room` bytes, and whose truncation fails while
// `truncation_fails` is set.
class FillingDiskSink : public FileSink {
 public:
  using FileSink::FileSink;
  uint32_t room = UINT32_MAX;
  bool truncation_fails = false;

 protected:
  bool WriteAt(uint32_t offset, const void* data, uint32_t size, DWORD* written) override {
    uint32_t fits = offset >= room ? 0 : std::min(size, room - offset);
    bool ok = FileSink::WriteAt(offset, data, fits, written);
    if (!ok || fits == size)
      return ok;
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  bool TruncateAt(uint32_t offset) override {
    if (truncation_fails) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    return FileSink::TruncateAt(offset);
  }
};

class FileSinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = base::CreateTemporaryFileIn(base::GetTempDirectory());
    file_.reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file_.is_valid());
  }
  void TearDown() override {
    file_.reset();
    ::DeleteFileW(path_.c_str());
  }
  std::string Contents() {
    std::string data(65536, '\0');
    DWORD read = 0;
    OVERLAPPED at = {};
    ::ReadFile(file_.get(), data.data(), static_cast<DWORD>(data.size()), &read, &at);
    data.resize(read);
    return data;
  }
  LONGLONG FilePointer() {
    LARGE_INTEGER zero = {}, now = {};
    ::SetFilePointerEx(file_.get(), zero, &now, FILE_CURRENT);
    return now.QuadPart;
  }

  std::wstring path_;
  base::ScopedHandle file_;
};

// A file sink that has already taken nearly 4 GiB.
class NearlyFullSink : public FileSink {
 public:
  explicit NearlyFullSink(HANDLE file) : FileSink(file) { total_written_ = UINT32_MAX - 10; }

 protected:
  bool WriteAt(uint32_t offset, const void* data, uint32_t size, DWORD* written) override {
    *written = size;
    return true;
  }
};

TEST_F(FileSinkTest, AWriteThatWouldPassFourGiBIsRefused) {
  // Offsets are 32-bit: a count that wrapped would write over the start.
  NearlyFullSink sink(file_.get());
  char data[20] = {};
  EXPECT_FALSE(sink.Write(data, 20));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));
  EXPECT_EQ(sink.total_written(), UINT32_MAX - 10);
  EXPECT_TRUE(sink.Write(data, 10));
  EXPECT_EQ(sink.total_written(), UINT32_MAX);
}

TEST_F(FileSinkTest, ShortWriteKeepsWhatLandedAndTheResumeContinuesIt) {
  FillingDiskSink sink(file_.get());
  sink.room = 10;
  ASSERT_TRUE(sink.Write("abcdef", 6));
  ::SetLastError(0);
  EXPECT_FALSE(sink.Write("ghijkl", 6));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(sink.total_written(), 10u);
  EXPECT_EQ(FilePointer(), 10);
  EXPECT_EQ(Contents(), "abcdefghij");
  // Space is freed; the resumed bytes follow the kept ones, wherever the
  // file pointer was moved meanwhile.
  sink.room = UINT32_MAX;
  LARGE_INTEGER elsewhere = {};
  elsewhere.QuadPart = 100;
  ::SetFilePointerEx(file_.get(), elsewhere, nullptr, FILE_BEGIN);
  ASSERT_TRUE(sink.Write("kl", 2));
  EXPECT_EQ(Contents(), "abcdefghijkl");
}

TEST_F(FileSinkTest, FailedResetRefusesWritesUntilTheFileIsEmpty) {
  FillingDiskSink sink(file_.get());
  ASSERT_TRUE(sink.Write("old bytes", 9));
  sink.set_identity({9, "\"a\"", ""});
  sink.truncation_fails = true;
  EXPECT_FALSE(sink.Reset());
  EXPECT_EQ(sink.total_written(), 0u);
  EXPECT_TRUE(sink.identity().etag.empty());
  // Writing over the old bytes would leave their tail behind.
  EXPECT_FALSE(sink.Write("new", 3));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Contents(), "old bytes");
  sink.truncation_fails = false;
  ASSERT_TRUE(sink.Write("new", 3));
  EXPECT_EQ(Contents(), "new");
  EXPECT_TRUE(sink.Reset());
  EXPECT_EQ(Contents(), "");
}

}  // namespace
}  // namespace download
