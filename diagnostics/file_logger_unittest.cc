#include "diagnostics/file_logger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/file_util.h"
#include "base/md5.h"
#include "base/process.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"

namespace diagnostics {
namespace {

std::string ReadAll(const std::wstring& path) {
  base::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  std::string data;
  if (!file.is_valid())
    return data;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
    data.append(buffer, read);
  return data;
}

void WriteSize(const std::wstring& path, size_t size) {
  base::ScopedHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  std::string data(size, 'x');
  DWORD written = 0;
  ::WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

LogRecord Record(std::string message, Severity severity = Severity::kInfo) {
  LogRecord record;
  record.severity = severity;
  record.function = "wWinMain";
  record.line = 227;
  // 2026-12-07 09:22:24.123 UTC, in microseconds since 1601.
  record.wall_time_us = 13441108944123000LL;
  record.process_id = 4242;
  record.thread_id = 4711;
  record.message = std::move(message);
  return record;
}

class FileLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base::CreateTemporaryDirectory(L"log");
    ASSERT_FALSE(dir_.empty());
    path_ = base::JoinPath(dir_, L"thin_installer.log");
  }
  void TearDown() override {
    ::DeleteFileW(path_.c_str());
    ::DeleteFileW(RotatedLogPath(path_).c_str());
    ::RemoveDirectoryW(RotatedLogPath(path_).c_str());
    ::RemoveDirectoryW(dir_.c_str());
  }
  std::wstring MutexName() const { return MutexName(path_); }
  static std::wstring MutexName(const std::wstring& path) {
    return L"navupdater log " + base::WidenBytes(base::Md5HexUpper(base::WideToUtf8(path)));
  }

  std::wstring dir_;
  std::wstring path_;
};

TEST_F(FileLoggerTest, WritesTheDocumentedLineFormat) {
  FileLogger logger(path_, FileLogger::kDefaultMaxSize);
  logger.Emit(Record("Temporary path is: C:\\Temp\\"));
  logger.Emit(Record("boom", Severity::kError));
  logger.Emit(Record("careful", Severity::kWarning));
  EXPECT_EQ(ReadAll(path_),
            "2026-12-07 09:22:24.123 4242:4711 INFO: Temporary path is: C:\\Temp\\ (wWinMain:227)\n"
            "2026-12-07 09:22:24.123 4242:4711 ERROR: boom (wWinMain:227)\n"
            "2026-12-07 09:22:24.123 4242:4711 WARNING: careful (wWinMain:227)\n");
}

TEST_F(FileLoggerTest, CreatesMissingDirectoriesAgainAfterTheyAreRemoved) {
  std::wstring nested = base::JoinPath(dir_, L"a\\b\\thin_installer.log");
  FileLogger logger(nested, FileLogger::kDefaultMaxSize);
  logger.Emit(Record("hello"));
  EXPECT_NE(ReadAll(nested).find("INFO: hello"), std::string::npos);
  // Someone cleans the temporary folder while the installer runs.
  ASSERT_TRUE(::DeleteFileW(nested.c_str()));
  ASSERT_TRUE(::RemoveDirectoryW(base::JoinPath(dir_, L"a\\b").c_str()));
  logger.Emit(Record("again"));
  EXPECT_NE(ReadAll(nested).find("INFO: again"), std::string::npos);
  ::DeleteFileW(nested.c_str());
  ::RemoveDirectoryW(base::JoinPath(dir_, L"a\\b").c_str());
  ::RemoveDirectoryW(base::JoinPath(dir_, L"a").c_str());
}

TEST_F(FileLoggerTest, DropsRecordsWhoseDecorationIsTooLong) {
  FileLogger logger(path_, FileLogger::kDefaultMaxSize);
  std::string long_name(200, 'f');
  LogRecord record = Record("dropped");
  record.function = long_name.c_str();
  logger.Emit(record);
  record.function = "Short";
  logger.Emit(record);
  EXPECT_EQ(Lines(ReadAll(path_)).size(), 1u);
}

TEST_F(FileLoggerTest, RotatesBeforeTheMessageThatWouldReachTheLimit) {
  WriteSize(path_, 1048570);
  FileLogger logger(path_, FileLogger::kDefaultMaxSize);
  logger.Emit(Record("twenty byte message."));
  EXPECT_EQ(ReadAll(RotatedLogPath(path_)).size(), 1048570u);
  std::string fresh = ReadAll(path_);
  EXPECT_EQ(fresh.rfind("2026-12-07 09:22:24.123 4242:4711 INFO: twenty byte message.", 0), 0u);
  EXPECT_EQ(RotatedLogPath(L"C:\\t\\thin_installer.log"), L"C:\\t\\thin_installer_old.log");
}

TEST_F(FileLoggerTest, BelowTheLimitNothingRotates) {
  WriteSize(path_, 1000);
  FileLogger logger(path_, FileLogger::kDefaultMaxSize);
  logger.Emit(Record("small"));
  EXPECT_FALSE(base::PathExists(RotatedLogPath(path_)));
  EXPECT_GT(ReadAll(path_).size(), 1000u);
}

TEST_F(FileLoggerTest, FailedRotationIsReportedOnceAndNotRetried) {
  // A directory in the way of the "_old" name makes the rename fail.
  ASSERT_TRUE(::CreateDirectoryW(RotatedLogPath(path_).c_str(), nullptr));
  WriteSize(path_, 100);
  FileLogger logger(path_, 100);
  logger.Emit(Record("first"));
  logger.Emit(Record("second"));
  std::vector<std::string> lines = Lines(ReadAll(path_).substr(100));
  ASSERT_EQ(lines.size(), 3u);
  std::string expected_note = "2026-12-07 09:22:24.123 4242:4711 LOGGING: Failed to rotate log file " +
                              base::WideToUtf8(path_) + ": ";
  EXPECT_EQ(lines[0].rfind(expected_note, 0), 0u) << lines[0];
  EXPECT_GT(lines[0].size(), expected_note.size());  // The error code follows.
  EXPECT_NE(lines[1].find("INFO: first"), std::string::npos);
  EXPECT_NE(lines[2].find("INFO: second"), std::string::npos);
}

TEST_F(FileLoggerTest, WritesWithoutLockAfterOneSecondAndSaysSoOnce) {
  base::ScopedHandle held(::CreateMutexW(nullptr, TRUE, MutexName().c_str()));
  ASSERT_TRUE(held.is_valid());
  FileLogger logger(path_, FileLogger::kDefaultMaxSize);
  // The mutex is owned by this thread, so the logger must wait from another one.
  std::thread([&] {
    logger.Emit(Record("first"));
    logger.Emit(Record("second"));
  }).join();
  ::ReleaseMutex(held.get());
  std::vector<std::string> lines = Lines(ReadAll(path_));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "2026-12-07 09:22:24.123 4242:4711 LOGGING: Failed to lock log file " +
                          base::WideToUtf8(path_));
  EXPECT_NE(lines[1].find("INFO: first"), std::string::npos);
  EXPECT_NE(lines[2].find("INFO: second"), std::string::npos);
}

TEST_F(FileLoggerTest, RecoversAnAbandonedMutexAndNotesIt) {
  std::wstring name = MutexName();
  std::thread([&] {
    // Ends while owning the mutex, which abandons it.
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(mutex, nullptr);
  }).join();
  FileLogger logger(path_, FileLogger::kDefaultMaxSize);
  logger.Emit(Record("after crash"));
  logger.Emit(Record("normal"));
  std::vector<std::string> lines = Lines(ReadAll(path_));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "2026-12-07 09:22:24.123 4242:4711 LOGGING: Abandoned log mutex recovered for file " +
                base::WideToUtf8(path_));
  EXPECT_NE(lines[2].find("INFO: normal"), std::string::npos);
}

// A message that cannot be written is dropped, and the early way out must
// still release the log mutex: otherwise the next writer on another thread
// (or process, which keeps the mutex alive as `shared` does here) waits a
// second and notes a lock failure.
TEST_F(FileLoggerTest, UnwritablePathDropsTheMessageAndReleasesTheLock) {
  const std::wstring blocked_dir = base::JoinPath(dir_, L"file");
  WriteSize(blocked_dir, 1);
  struct Case {
    std::wstring path;
    std::wstring in_the_way;  // What makes the path unwritable.
    bool is_directory;
  };
  const Case kCases[] = {
      {path_, path_, true},  // The log path is a directory.
      {base::JoinPath(blocked_dir, L"thin_installer.log"), blocked_dir, false},  // Its folder is a file.
  };
  for (const Case& unwritable : kCases) {
    SCOPED_TRACE(base::WideToUtf8(unwritable.path));
    if (unwritable.is_directory)
      ASSERT_TRUE(::CreateDirectoryW(unwritable.in_the_way.c_str(), nullptr));
    base::ScopedHandle shared(::CreateMutexW(nullptr, FALSE, MutexName(unwritable.path).c_str()));
    ASSERT_TRUE(shared.is_valid());
    FileLogger logger(unwritable.path, FileLogger::kDefaultMaxSize);
    logger.Emit(Record("lost"));
    EXPECT_EQ(ReadAll(unwritable.path), "");
    if (unwritable.is_directory)
      ASSERT_TRUE(::RemoveDirectoryW(unwritable.in_the_way.c_str()));
    else
      ASSERT_TRUE(::DeleteFileW(unwritable.in_the_way.c_str()));

    std::thread([&] { logger.Emit(Record("written")); }).join();
    std::vector<std::string> lines = Lines(ReadAll(unwritable.path));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("INFO: written (wWinMain:227)"), std::string::npos) << lines[0];
    ::DeleteFileW(unwritable.path.c_str());
    ::RemoveDirectoryW(blocked_dir.c_str());
  }
}

TEST(FileLoggerPathTest, FallsBackToTheDriveRootWithoutTemporaryDirectory) {
  wchar_t saved_tmp[MAX_PATH] = {}, saved_temp[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"TMP", saved_tmp, MAX_PATH);
  ::GetEnvironmentVariableW(L"TEMP", saved_temp, MAX_PATH);
  std::wstring overlong = L"C:\\" + std::wstring(300, L'd');
  ::SetEnvironmentVariableW(L"TMP", overlong.c_str());
  ::SetEnvironmentVariableW(L"TEMP", overlong.c_str());
  std::wstring path = FileLogger::DefaultPath();
  ::SetEnvironmentVariableW(L"TMP", saved_tmp);
  ::SetEnvironmentVariableW(L"TEMP", saved_temp);
  EXPECT_EQ(path, L"\\thin_installer.log");

  std::wstring normal = FileLogger::DefaultPath();
  EXPECT_EQ(normal, base::GetTempDirectory() + L"\\thin_installer.log");
}

// Two processes write one log through a rotation. Each decides to rotate
// from the size it sees; without the cross-process lock both can rename at
// once, and the second rename throws the full file away for a nearly empty
// one. With it, each line lands exactly once in the old or the new file.
constexpr int kLinesPerWriter = 200;
constexpr uint64_t kRotationSize = 50 * 1024;  // About 60% of the two writers' lines.

TEST(FileLoggerProcessTest, ChildWriter) {
  wchar_t path[MAX_PATH], start[MAX_PATH], letter[2];
  if (!::GetEnvironmentVariableW(L"TX_LOG_CHILD_PATH", path, MAX_PATH) ||
      !::GetEnvironmentVariableW(L"TX_LOG_CHILD_START", start, MAX_PATH) ||
      ::GetEnvironmentVariableW(L"TX_LOG_CHILD_LETTER", letter, 2) != 1) {
    GTEST_SKIP() << "runs only as a child of TwoProcessesRotateWithoutLosingLines";
  }
  // Both writers start at once, so that they meet at the rotation.
  base::ScopedHandle go(::OpenEventW(SYNCHRONIZE, FALSE, start));
  ASSERT_TRUE(go.is_valid());
  ASSERT_EQ(::WaitForSingleObject(go.get(), 30000), WAIT_OBJECT_0);
  FileLogger logger(path, kRotationSize);
  std::string run(150, static_cast<char>(letter[0]));
  for (int i = 0; i < kLinesPerWriter; ++i)
    logger.Emit(Record(run + " " + std::to_string(i)));
}

TEST_F(FileLoggerTest, TwoProcessesRotateWithoutLosingLines) {
  const std::wstring start = L"tx-log-test-start-" + std::to_wstring(::GetCurrentProcessId());
  ::SetEnvironmentVariableW(L"TX_LOG_CHILD_PATH", path_.c_str());
  ::SetEnvironmentVariableW(L"TX_LOG_CHILD_START", start.c_str());
  const std::wstring command = L"\"" + base::GetExecutablePath() +
                               L"\" --gtest_filter=FileLoggerProcessTest.ChildWriter";
  // Each round is one rotation; the race is likely, not certain, in one.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    base::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, start.c_str()));
    ASSERT_TRUE(go.is_valid());
    std::vector<base::ScopedHandle> children;
    for (const wchar_t* letter : {L"a", L"b"}) {
      ::SetEnvironmentVariableW(L"TX_LOG_CHILD_LETTER", letter);
      children.push_back(base::LaunchProcess(command, {}));
      ASSERT_TRUE(children.back().is_valid());
    }
    ::SetEvent(go.get());
    for (auto& child : children) {
      DWORD code = 1;
      ASSERT_TRUE(base::WaitForExitCode(child.get(), &code));
      EXPECT_EQ(code, 0u);
    }

    const std::string old_text = ReadAll(RotatedLogPath(path_));
    const std::string new_text = ReadAll(path_);
    // Rotated once, when the next line would have reached the limit.
    EXPECT_GT(old_text.size(), kRotationSize - 400);
    EXPECT_LT(old_text.size(), kRotationSize + 400);
    EXPECT_LT(new_text.size(), kRotationSize);
    std::map<char, int> next_index = {{'a', 0}, {'b', 0}};
    for (const std::string& line : Lines(old_text + new_text)) {
      ASSERT_EQ(line.rfind("2026-12-07 09:22:24.123 4242:4711 INFO: ", 0), 0u) << line;
      ASSERT_EQ(line.substr(line.size() - 15), " (wWinMain:227)") << line;
      std::string body = line.substr(40, line.size() - 40 - 15);
      char letter = body[0];
      ASSERT_EQ(body.find_first_not_of(letter), 150u) << line;
      ASSERT_TRUE(next_index.count(letter)) << line;
      // Every line of a writer once, in its order, across both files.
      EXPECT_EQ(body.substr(151), std::to_string(next_index[letter]++)) << line;
    }
    EXPECT_EQ(next_index['a'], kLinesPerWriter);
    EXPECT_EQ(next_index['b'], kLinesPerWriter);
    ::DeleteFileW(path_.c_str());
    ::DeleteFileW(RotatedLogPath(path_).c_str());
  }
  for (const wchar_t* name : {L"TX_LOG_CHILD_PATH", L"TX_LOG_CHILD_START", L"TX_LOG_CHILD_LETTER"})
    ::SetEnvironmentVariableW(name, nullptr);
}

}  // namespace
}  // namespace diagnostics
