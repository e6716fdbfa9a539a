// Drives the download engine and the setup-archive download policy with the
// real WinINet stack, for end-to-end tests against the loopback server.
//
//   download_probe url <url> <out file> [--stop-after-ms N]
//       one DownloadUrl into a file; prints result, error, content_length,
//       redirect and written.
//   download_probe module <setup url> <out file> [--pause-ms N] [--stop-after-ms N]
//                  [--versioned-url URL] [--x64-url URL] [installer switches...]
//       the Installer's GetModule with a brand holding these URLs; pauses
//       between attempts last N ms instead of 15 s. Prints result, exit_code,
//       written and one "event ..." line per statistics event.
//   download_probe run <setup url> <out file> --stop-after-ms N [--cancel]
//       the Installer's whole run on its own thread, with its temporary
//       directory beside <out file>; after N ms the user cancels (with
//       --cancel) and the window closes (Stop). Prints stop_ms (from the stop
//       to the end of the thread), stopped, exit_code and archive_left.
// The log goes to <out file>.log.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "diagnostics/file_logger.h"
#include "distribution/brand_info.h"
#include "download/download_sink.h"
#include "download/downloader.h"
#include "base/command_line.h"
#include "installer/installer.h"
#include "stats/stat_reporter.h"

namespace {

class PrintingReporter : public stats::StatReporter {
 public:
  void SendEvent(const stats::InstallEvent& event) override {
    std::string line = "event";
    for (const auto& [key, value] : event)
      line += " " + key + "=" + base::WideToUtf8(value);
    std::printf("%s\n", line.c_str());
  }
  void SetParam(const std::string&, const std::wstring&) override {}
};

class ProbeInstaller : public installer::Installer {
 public:
  using Installer::Installer;
  DWORD pause_ms = 15000;

 protected:
  void PauseBetweenAttempts() override { ::WaitForSingleObject(stop_event(), pause_ms); }
};

struct StopTimer {
  HANDLE event;
  DWORD delay;
};

DWORD WINAPI SignalLater(void* param) {
  auto* timer = static_cast<StopTimer*>(param);
  ::Sleep(timer->delay);
  ::SetEvent(timer->event);
  return 0;
}

void StartStopTimer(StopTimer* timer) {
  if (timer->delay)
    ::CloseHandle(::CreateThread(nullptr, 0, &SignalLater, timer, 0, nullptr));
}

DWORD FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow
                                                                             : 0;
}

int RunUrl(const std::wstring& url, const std::wstring& out, DWORD stop_after) {
  base::ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  StopTimer timer{stop.get(), stop_after};
  StartStopTimer(&timer);
  base::ScopedHandle file(
      ::CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file.is_valid())
    return 1;
  download::FileSink sink(file.get());
  download::DownloadUrlResult result;
  bool ok = download::DownloadUrl(url, &sink, stop.get(), nullptr, &result);
  std::printf("result=%d\nerror=%s\ncontent_length=%lu\nredirect=%s\nwritten=%lu\n", ok ? 1 : 0,
              base::WideToUtf8(result.error).c_str(),
              static_cast<unsigned long>(result.content_length),
              base::WideToUtf8(result.redirect_url).c_str(),
              static_cast<unsigned long>(sink.total_written()));
  return 0;
}

int RunModule(int argc, wchar_t** argv) {
  distribution::BrandInfo brand;
  brand.setup_url = base::NarrowLow8(argv[0]);
  std::wstring out = argv[1];
  DWORD pause_ms = 15000, stop_after = 0;
  base::CommandLine command_line(L"lite_installer.exe");
  for (int i = 2; i < argc; ++i) {
    std::wstring arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == L"--pause-ms" && has_value)
      pause_ms = std::wcstoul(argv[++i], nullptr, 10);
    else if (arg == L"--stop-after-ms" && has_value)
      stop_after = std::wcstoul(argv[++i], nullptr, 10);
    else if (arg == L"--versioned-url" && has_value)
      brand.setup_url_version = base::NarrowLow8(argv[++i]);
    else if (arg == L"--x64-url" && has_value)
      brand.setup_url64 = base::NarrowLow8(argv[++i]);
    else
      command_line.SetSwitch(base::NarrowLow8(arg), L"");
  }
  PrintingReporter reporter;
  installer::InstallerEnvironment environment;
  environment.reporter = &reporter;
  ProbeInstaller probe(nullptr, &brand, nullptr, command_line, environment);
  probe.pause_ms = pause_ms;
  StopTimer timer{probe.stop_event(), stop_after};
  StartStopTimer(&timer);
  int result = probe.GetModule(out, nullptr);
  std::printf("result=%d\nexit_code=%d\nwritten=%lu\n", result, probe.exit_code(),
              static_cast<unsigned long>(FileSize(out)));
  return 0;
}

int RunInstallation(int argc, wchar_t** argv) {
  distribution::BrandInfo brand;
  brand.setup_url = base::NarrowLow8(argv[0]);
  std::wstring out = argv[1];
  DWORD stop_after = 0;
  bool cancel = false;
  for (int i = 2; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--stop-after-ms" && i + 1 < argc)
      stop_after = std::wcstoul(argv[++i], nullptr, 10);
    else if (arg == L"--cancel")
      cancel = true;
  }
  base::CommandLine command_line(L"lite_installer.exe");
  PrintingReporter reporter;
  installer::InstallerEnvironment environment;
  environment.reporter = &reporter;
  ProbeInstaller probe(nullptr, &brand, nullptr, command_line, environment);
  probe.set_temp_dir(base::DirName(out));
  if (!probe.RunAsync())
    return 1;
  ::Sleep(stop_after);
  if (cancel)
    probe.IncrementCancelCount();
  base::Clock* clock = base::DefaultClock();
  int64_t stop_start = clock->NowMicroseconds();
  bool stopped = probe.Stop();
  int64_t stop_us = clock->NowMicroseconds() - stop_start;
  std::printf("stop_ms=%lld\nstopped=%d\nexit_code=%d\narchive=%s\narchive_left=%d\n",
              static_cast<long long>(stop_us / 1000), stopped ? 1 : 0, probe.exit_code(),
              base::WideToUtf8(probe.archive_path()).c_str(),
              base::FileExists(probe.archive_path()) ? 1 : 0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: see the header of download_probe.cc\n");
    return 2;
  }
  diagnostics::InstallLogger(std::make_unique<diagnostics::FileLogger>(
      std::wstring(argv[3]) + L".log", diagnostics::FileLogger::kDefaultMaxSize));
  std::wstring mode = argv[1];
  int code = 2;
  if (mode == L"url")
    code = RunUrl(argv[2], argv[3], argc > 5 ? std::wcstoul(argv[5], nullptr, 10) : 0);
  else if (mode == L"module")
    code = RunModule(argc - 2, argv + 2);
  else if (mode == L"run")
    code = RunInstallation(argc - 2, argv + 2);
  std::fflush(stdout);
  return code;
}
