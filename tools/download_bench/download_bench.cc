// Downloads one URL into a file, either with the installer's engine or with
// the plainest WinINet loop, to see what the engine costs on top of WinINet.
//
//   download_bench engine <url> <out file>
//   download_bench bare <url> <out file>
//
// "engine" runs download::DownloadUrl into a FileSink on a file opened as the
// installer opens its archive, with a stop event and a progress observer, as
// the installation thread does. "bare" runs InternetOpenW, InternetOpenUrlW
// and InternetReadFile into a 32768-byte buffer, each chunk written with
// WriteFile. Prints key=value lines: ok, bytes, seconds (from before the
// session opens to after the file is closed) and peak_working_set_kb.
#include <windows.h>

#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/scoped_handle.h"
#include "base/waitable_event.h"
#include "download/download_sink.h"
#include "download/downloader.h"

namespace {

constexpr DWORD kChunkSize = 32768;

// What the installer's observer sees, kept cheap and in memory.
class CountingProgress : public download::DownloadProgress {
 public:
  void SetFraction(float fraction) override {
    last_fraction = fraction;
    ++fractions;
  }
  void OnSlowDownload() override {}
  void SetRemainingTime(int32_t, int32_t) override {}

  float last_fraction = 0;
  long fractions = 0;
};

base::ScopedHandle CreateOutput(const std::wstring& path) {
  // As the installer creates the archive it keeps locked.
  return base::ScopedHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool RunEngine(const std::wstring& url, const std::wstring& out, uint64_t* bytes) {
  base::ManualResetEvent stop;
  base::ScopedHandle file = CreateOutput(out);
  if (!file.is_valid())
    return false;
  download::FileSink sink(file.get());
  CountingProgress progress;
  download::DownloadUrlResult result;
  bool ok = download::DownloadUrl(url, &sink, stop.handle(), &progress, &result);
  *bytes = sink.total_written();
  if (!ok)
    std::fprintf(stderr, "engine: %ls\n", result.error.c_str());
  return ok;
}

bool RunBare(const std::wstring& url, const std::wstring& out, uint64_t* bytes) {
  HINTERNET session =
      ::InternetOpenW(L"bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session)
    return false;
  HINTERNET request = ::InternetOpenUrlW(session, url.c_str(), L"Accept: */*", static_cast<DWORD>(-1),
                                         INTERNET_FLAG_RELOAD, 0);
  bool ok = false;
  if (request) {
    base::ScopedHandle file = CreateOutput(out);
    std::vector<char> buffer(kChunkSize);
    DWORD read = 0;
    ok = file.is_valid();
    while (ok && (ok = ::InternetReadFile(request, buffer.data(), kChunkSize, &read) != 0) &&
           read > 0) {
      DWORD written = 0;
      ok = ::WriteFile(file.get(), buffer.data(), read, &written, nullptr) && written == read;
      *bytes += written;
    }
    DWORD status = 0, size = sizeof(status);
    ok = ok && ::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                &status, &size, nullptr) &&
         status == 200;
    ::InternetCloseHandle(request);
  }
  if (!ok)
    std::fprintf(stderr, "bare: failed, last error %lu\n", ::GetLastError());
  ::InternetCloseHandle(session);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: download_bench engine|bare <url> <out file>\n");
    return 2;
  }
  const std::wstring mode = argv[1];
  if (mode != L"engine" && mode != L"bare") {
    std::fprintf(stderr, "unknown mode\n");
    return 2;
  }
  base::Clock* clock = base::DefaultClock();
  uint64_t bytes = 0;
  const int64_t start = clock->NowMicroseconds();
  const bool ok = mode == L"engine" ? RunEngine(argv[2], argv[3], &bytes)
                                    : RunBare(argv[2], argv[3], &bytes);
  const double seconds = static_cast<double>(clock->NowMicroseconds() - start) / 1e6;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("ok=%d\nbytes=%llu\nseconds=%.3f\npeak_working_set_kb=%llu\n", ok ? 1 : 0,
              static_cast<unsigned long long>(bytes), seconds,
              static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024));
  return ok ? 0 : 1;
}
