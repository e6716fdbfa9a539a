#include "download/downloader.h"

#include <windows.h>

#include <delayimp.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/fake_clock_for_testing.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/log_capture_for_testing.h"
#include "download/fake_http_for_testing.h"

// GCC 12 warns about every member a designated initializer leaves to its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace download {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;

constexpr wchar_t kUrl[] = L"https://localhost:18443/browser-setup.arc";
const std::string kUrlText = base::NarrowLow8(kUrl);
constexpr uint32_t kChunk = Downloader::kChunkSize;

// Every byte depends on its position, so a misplaced or repeated chunk shows.
std::string Body(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i)
    body[i] = static_cast<char>(i % 251);
  return body;
}

// A well-behaved server for `body`, running `on_read` before each read.
FakeHttp Serving(const std::string& body, std::function<void()> on_read = nullptr) {
  return FakeHttp([=](const FakeRequest& request, size_t) {
    FakeResponse response = ServeBody(body, request);
    response.on_read = on_read;
    return response;
  });
}

FakeHttp Answering(FakeResponse response) {
  return FakeHttp([response](const FakeRequest&, size_t) { return response; });
}

// Progress calls as text: "f0.25" fraction, "t60/1" remaining time, "slow".
class RecordingProgress : public DownloadProgress {
 public:
  void SetFraction(float fraction) override {
    char text[32];
    std::snprintf(text, sizeof(text), "f%g", fraction);
    calls.push_back(text);
  }
  void OnSlowDownload() override { calls.push_back("slow"); }
  void SetRemainingTime(int32_t seconds, int32_t state) override {
    calls.push_back("t" + std::to_string(seconds) + "/" + std::to_string(state));
  }
  std::vector<std::string> calls;
};

class DownloadUrlTest : public ::testing::Test {
 protected:
  bool Run(FakeHttp& http, HANDLE stop_event = nullptr) {
    log_.Clear();
    progress_.calls.clear();
    return DownloadUrl(kUrl, &sink_, stop_event, &progress_, &result_, &http, &clock_);
  }
  std::string Error() const { return base::NarrowLow8(result_.error); }

  base::ScopedLogCapture log_;
  base::FakeClock clock_;
  StringSink sink_;
  RecordingProgress progress_;
  DownloadUrlResult result_;
};

TEST_F(DownloadUrlTest, EstimatesAtMostOncePerMinuteAndFlagsSlowDownloads) {
  const std::string body = Body(4 * kChunk);
  struct {
    int64_t ms_per_read;
    std::vector<std::string> calls;
  } cases[] = {
      // 60 s elapsed and 60 s left is not yet slow.
      {30000, {"f0", "t-1/0", "f0.25", "f0.5", "t60/1", "f0.75", "f1", "t0/1", "f1", "t0/2"}},
      {40000, {"f0", "t-1/0", "f0.25", "f0.5", "slow", "t80/1", "f0.75", "f1", "slow", "t0/1",
               "f1", "t0/2"}},
  };
  for (const auto& c : cases) {
    sink_.Reset();
    FakeHttp http = Serving(body, [&] { clock_.AdvanceMs(c.ms_per_read); });
    ASSERT_TRUE(Run(http)) << Error();
    EXPECT_THAT(progress_.calls, ElementsAreArray(c.calls)) << c.ms_per_read << " ms per read";
    EXPECT_EQ(sink_.data(), body);
    EXPECT_EQ(result_.content_length, body.size());
    EXPECT_THAT(http.requests()[0].headers, Not(HasSubstr(L"Range")));
  }

  // Without a length there is nothing to estimate.
  for (FakeResponse response : {FakeResponse{.body = Body(2 * kChunk + 5)}, FakeResponse{},
                                FakeResponse{.content_length = 0}}) {
    sink_.Reset();
    response.on_read = [&] { clock_.AdvanceMs(70000); };
    FakeHttp http = Answering(response);
    ASSERT_TRUE(Run(http)) << Error();
    EXPECT_THAT(progress_.calls, ElementsAre("f0", "t-1/0", "f1", "t0/2"));
    EXPECT_EQ(sink_.data(), response.body);
    EXPECT_EQ(result_.content_length, 0u);
  }
}

TEST_F(DownloadUrlTest, AnEstimateBeyondThirtyDaysIsCappedThere) {
  // A crawl against a length of nearly 4 GB: some 2.8e9 seconds, more than
  // 32 signed bits hold.
  FakeResponse response{.body = Body(100), .content_length = 4000000000u};
  response.on_read = [&] { clock_.AdvanceMs(70000); };
  FakeHttp http = Answering(response);
  Run(http);
  EXPECT_THAT(progress_.calls, Contains("t2592000/1"));
}

TEST_F(DownloadUrlTest, ResumesWithRangeAndCountsTheWholeLength) {
  const std::string body = Body(100000);
  ASSERT_TRUE(sink_.Write(body.data(), 40000));
  FakeHttp http = Serving(body);
  ASSERT_TRUE(Run(http)) << Error();
  EXPECT_THAT(http.requests()[0].headers, HasSubstr(L"Range: bytes=40000-"));
  EXPECT_EQ(sink_.data(), body);
  EXPECT_EQ(result_.content_length, 100000u);
  // No start values for a resumed download; fractions count the earlier bytes.
  EXPECT_THAT(progress_.calls, ElementsAre("f0.72768", "f1", "f1", "t0/2"));
}

TEST_F(DownloadUrlTest, EachFailureNamesItsStageAndCode) {
  const std::string body = Body(100000);
  auto partial = [&](const char* range) {
    FakeResponse response{.status = 206, .body = body.substr(40000), .content_length = 60000};
    if (range)
      response.headers["Content-Range"] = range;
    return response;
  };
  struct {
    const char* name;
    FakeResponse response;
    const char* error_regex;
    std::vector<std::string> logs;  // Each starts a logged line.
    uint32_t prefilled = 0;         // Bytes in the sink before: a resume.
    uint32_t kept = 0;              // Bytes in the sink after.
    DWORD session_error = 0;
  } cases[] = {
      {"session", {}, "internet_open-12004", {}, 0, 0, ERROR_INTERNET_INTERNAL_ERROR},
      {"open url", {.open_fails = true, .error = ERROR_INTERNET_NAME_NOT_RESOLVED},
       "internet_open_url-12007"},
      {"read", {.body = body, .cut_after = 1000, .read_error = ERROR_INTERNET_TIMEOUT},
       "internet_read-12002", {"Download chunk error. - "}, 0, 1000},
      {"status", {.status = 404, .body = "gone", .redirect_url = L"https://mirror.localhost/x"},
       "final_query_info-404-\\d+",
       {"HTTP request status isn't OK - ", "Unsuccessful download: " + kUrlText + " - "}},
      {"cut short", {.body = body, .content_length = 100000, .cut_after = 70000},
       "internet_read-12030", {"Incomplete download: " + kUrlText}, 0, 70000},
      {"longer than announced", {.body = body, .content_length = 50000}, "internet_read-12030",
       {"Incomplete download: " + kUrlText}, 0, 100000},
      {"range ignored", ServeBody(body, {}), "internet_set_file_pointer-12016", {}, 40000},
      {"range from elsewhere", partial("bytes 30000-99999/100000"),
       "internet_set_file_pointer-12016", {}, 40000},
      {"range of a longer file", partial("bytes 40000-119999/120000"),
       "internet_set_file_pointer-12016", {}, 40000},
      {"unreadable length", {.body = body, .headers = {{"Content-Length", "abc"}}},
       "internet_read-12152", {"Invalid Content-Length: abc - "}},
      {"no Content-Range", partial(nullptr), "internet_set_file_pointer-12016", {}, 40000},
      {"range with a tail", partial("bytes 40000-99999/100000x"),
       "internet_set_file_pointer-12016", {}, 40000},
      {"range without a total", partial("bytes 40000-99999"), "internet_set_file_pointer-12016",
       {}, 40000},
      {"range with a sign", partial("bytes +40000-99999/100000"),
       "internet_set_file_pointer-12016", {}, 40000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sink_.Reset();
    sink_.Write(body.data(), c.prefilled);
    sink_.set_identity({100000, "", ""});
    FakeHttp http = Answering(c.response);
    http.session_error = c.session_error;
    EXPECT_FALSE(Run(http));
    EXPECT_THAT(Error(), MatchesRegex(c.error_regex));
    for (const std::string& line : c.logs)
      EXPECT_THAT(log_.messages(), Contains(StartsWith(line)));
    EXPECT_EQ(sink_.data().size(), c.kept);
    EXPECT_THAT(progress_.calls, Not(Contains("t0/2")));
    EXPECT_EQ(result_.redirect_url, c.response.redirect_url);
  }
}

TEST_F(DownloadUrlTest, ResumeAsksForTheSameFileAndRefusesAnother) {
  const std::string body = Body(100000);
  FakeResponse first = ServeBody(body, {});
  first.cut_after = 40000;
  first.headers = {{"ETag", "\"v1\""}, {"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"}};
  FakeHttp cut = Answering(first);
  EXPECT_FALSE(Run(cut));
  EXPECT_EQ(sink_.identity().length, 100000u);
  EXPECT_EQ(sink_.identity().etag, "\"v1\"");

  // A server that ignores If-Range and answers from a changed file.
  FakeResponse changed = ServeBody(body, {.range_start = 40000});
  changed.headers["ETag"] = "\"v2\"";
  FakeHttp other = Answering(changed);
  EXPECT_FALSE(Run(other));
  EXPECT_THAT(other.requests()[0].headers, HasSubstr(L"If-Range: \"v1\"\r\n"));
  EXPECT_EQ(Error(), "internet_set_file_pointer-12016");
  EXPECT_EQ(sink_.total_written(), 0u);
  EXPECT_TRUE(sink_.identity().etag.empty());

  // Without an entity tag the date stands in; a weak tag is no validator.
  sink_.Write(body.data(), 40000);
  sink_.set_identity({100000, "", "Tue, 01 Dec 2026 10:00:00 GMT"});
  FakeHttp same = Serving(body);
  ASSERT_TRUE(Run(same)) << Error();
  EXPECT_THAT(same.requests()[0].headers,
              HasSubstr(L"If-Range: Tue, 01 Dec 2026 10:00:00 GMT\r\n"));
  EXPECT_EQ(sink_.data(), body);
  sink_.Reset();
  FakeHttp weak = Answering({.body = "x", .headers = {{"ETag", "W/\"w\""}}});
  ASSERT_TRUE(Run(weak));
  EXPECT_EQ(sink_.identity().etag, "");
}

TEST_F(DownloadUrlTest, RefusedWriteIsAWriteError) {
  std::wstring path = base::CreateTemporaryFileIn(base::GetTempDirectory());
  {
    base::ScopedHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.is_valid());
    FileSink sink(file.get());
    FakeHttp http = Serving(Body(1000));
    EXPECT_FALSE(DownloadUrl(kUrl, &sink, nullptr, nullptr, &result_, &http, &clock_));
  }
  ::DeleteFileW(path.c_str());
  EXPECT_EQ(Error(), "write_file-5");
  EXPECT_THAT(log_.messages(), Contains(StartsWith("Write file error. - ")));
}

TEST_F(DownloadUrlTest, BodyPastTheMemoryLimitIsAWriteError) {
  // A limit that falls inside the second chunk: the first is kept, the
  // download then fails as a refused write.
  StringSink sink(kChunk + 10);
  FakeHttp http = Serving(Body(3 * kChunk));
  EXPECT_FALSE(DownloadUrl(kUrl, &sink, nullptr, nullptr, &result_, &http, &clock_));
  EXPECT_EQ(Error(), "write_file-" + std::to_string(ERROR_FILE_TOO_LARGE));
  EXPECT_EQ(sink.data().size(), kChunk);
  // Up to the limit exactly is still a body.
  StringSink exact(2 * kChunk);
  FakeHttp same = Serving(Body(2 * kChunk));
  EXPECT_TRUE(DownloadUrl(kUrl, &exact, nullptr, nullptr, &result_, &same, &clock_));
  EXPECT_EQ(exact.data(), Body(2 * kChunk));
}

TEST_F(DownloadUrlTest, ExceptionWhileOpeningIsReportedNotThrown) {
  DelayLoadInfo by_name = {.cb = sizeof(DelayLoadInfo), .szDll = "cplib.dll"};
  by_name.dlp.fImportByName = TRUE;
  by_name.dlp.szProcName = "CryptoProOpenStore";
  DelayLoadInfo by_ordinal = by_name;
  by_ordinal.dlp.fImportByName = FALSE;
  by_ordinal.dlp.dwOrdinal = 7;
  struct {
    uint32_t code;
    const DelayLoadInfo* info;
    const char* dll;
    const char* proc;
  } cases[] = {
      {0xC06D007E, &by_name, "cplib.dll", "CryptoProOpenStore"},
      {0xC06D007E, &by_ordinal, "cplib.dll", ""},
      {EXCEPTION_ACCESS_VIOLATION, &by_name, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    FakeHttp http = Answering({.raise_code = c.code, .raise_argument = c.info});
    EXPECT_FALSE(Run(http));
    EXPECT_EQ(result_.open_failure.exception_code, c.code);
    EXPECT_EQ(result_.open_failure.exception_dll, c.dll);
    EXPECT_EQ(result_.open_failure.exception_proc, c.proc);
    EXPECT_THAT(result_.error, IsEmpty());
    ASSERT_FALSE(log_.records().empty());
    EXPECT_THAT(log_.messages()[0], StartsWith("An attempt to open url " + kUrlText +
                                               " generated an exception " +
                                               std::to_string(c.code) + " - "));
    EXPECT_STREQ(log_.records()[0].function, "OpenDownload");
  }
  // A caller that reads on after such an open gets nothing, not a crash.
  FakeHttp http = Answering({.raise_code = EXCEPTION_ACCESS_VIOLATION});
  Downloader downloader(&http);
  StringSink sink;
  EXPECT_FALSE(downloader.OpenDownload(kUrl, &sink));
  EXPECT_EQ(downloader.ReadChunk(), 0u);
  EXPECT_FALSE(downloader.FinalizeDownload());
}

TEST_F(DownloadUrlTest, SignalledStopEndsAfterOpeningWithoutReading) {
  base::ScopedHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  int reads = 0;
  FakeHttp http = Serving(Body(1000), [&] { ++reads; });
  EXPECT_FALSE(Run(http, stop.get()));
  EXPECT_EQ(http.requests().size(), 1u);
  EXPECT_EQ(reads, 0);
  EXPECT_THAT(result_.error, IsEmpty());
}

TEST(DownloaderTest, DownloadToFileMovesOnlyACompleteDownloadIntoPlace) {
  base::ScopedLogCapture log;
  // A private temporary directory, so that a leftover temporary file shows.
  const std::wstring root = base::CreateTemporaryDirectory(L"dlt");
  const std::wstring temp = base::JoinPath(root, L"temp"), target = base::JoinPath(root, L"t");
  ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
  wchar_t saved_tmp[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"TMP", saved_tmp, MAX_PATH);
  ::SetEnvironmentVariableW(L"TMP", temp.c_str());
  EXPECT_EQ(base::GetTempDirectory(), temp + L"\\");
  auto read_target = [&] {
    std::ifstream file(std::filesystem::path(target), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };

  const std::string body = Body(3 * kChunk + 17);
  FakeHttp good = Serving(body);
  EXPECT_TRUE(Downloader(&good).DownloadToFile("https://localhost:18443/a", target, nullptr));
  EXPECT_EQ(good.requests()[0].url, L"https://localhost:18443/a");
  EXPECT_EQ(read_target(), body);
  EXPECT_FALSE(base::DirectoryHasMatch(temp, L"*"));

  FakeHttp cut = Answering({.body = body, .content_length = 3 * kChunk + 17, .cut_after = kChunk});
  EXPECT_FALSE(Downloader(&cut).DownloadToFile("https://localhost:18443/a", target, nullptr));
  EXPECT_EQ(read_target(), body);
  EXPECT_FALSE(base::DirectoryHasMatch(temp, L"*"));

  // A stop between chunks of a body without a length: what came looks whole
  // to the final status, but it is not.
  base::ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  FakeHttp stopped = Answering({.body = Body(3 * kChunk), .on_read = [&] {
    ::SetEvent(stop.get());
  }});
  EXPECT_FALSE(Downloader(&stopped).DownloadToFile("https://localhost:18443/a", target,
                                                   stop.get()));
  EXPECT_EQ(read_target(), body);
  EXPECT_FALSE(base::DirectoryHasMatch(temp, L"*"));

  ::SetEnvironmentVariableW(L"TMP", saved_tmp[0] ? saved_tmp : nullptr);
  ::DeleteFileW(target.c_str());
  ::RemoveDirectoryW(temp.c_str());
  ::RemoveDirectoryW(root.c_str());
}

TEST(DownloaderTest, DownloadToStringChangesTheBodyOnlyOnSuccess) {
  base::ScopedLogCapture log;
  FakeHttp not_found = Answering({.status = 404, .body = "missing"});
  std::string body = "unchanged";
  EXPECT_FALSE(Downloader(&not_found).DownloadToString("https://localhost/c", nullptr, &body));
  EXPECT_EQ(body, "unchanged");
  FakeHttp ok = Serving("{\"config\":1}");
  EXPECT_TRUE(Downloader(&ok).DownloadToString("https://localhost/c", nullptr, &body));
  EXPECT_EQ(body, "{\"config\":1}");
}

TEST(DownloaderTest, ResponseHeadersAreAnsweredByName) {
  base::ScopedLogCapture log;
  FakeHttp http = Answering({.headers = {{"X-Request-Id", "a1b2"}}});
  Downloader downloader(&http);
  StringSink sink;
  ASSERT_TRUE(downloader.OpenDownload(kUrl, &sink));
  EXPECT_EQ(downloader.GetResponseHeader("X-Request-Id"), "a1b2");
  EXPECT_EQ(downloader.GetResponseHeader("X-Other"), "");
}

}  // namespace
}  // namespace download
