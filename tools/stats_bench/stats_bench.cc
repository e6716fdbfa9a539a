// Queues statistics events through a real StatReporter, whose worker sends
// them with the real SendUrl, to see what the caller pays per event and how
// fast the worker drains the queue.
//
//   stats_bench <host[:port]> <events> <seconds> [<log file>]
//
// Queues <events> progress events as fast as it can, then lets the worker
// send for at most <seconds> and destroys the reporter. Log lines go to
// <log file> when one is given (as the installer writes them), else they are
// only counted. Prints key=value lines:
//   queue_us_per_event, queue_us_p99, queue_us_p999, queue_us_max,
//   queue_calls_over_1ms               the caller's time per SendEvent
//   sent, send_seconds, requests_per_second   the worker's progress
//   send_warnings, first_warning       SendUrl's failure lines
//   destroy_ms                         how long destroying the reporter took
//
// TX_BENCH_CONTROL=spin or =alloc replaces every event after the first (which
// starts the worker) with a control of about the same cost: a loop that only
// counts, or the event's own allocations without the reporter. Their tail is
// what the machine alone costs a thread at those moments.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/string_conv.h"
#include "base/waitable_event.h"
#include "diagnostics/file_logger.h"
#include "stats/install_stat_sender.h"
#include "stats/send_url.h"
#include "stats/stat_reporter.h"

namespace {

double NowMs() {
  return static_cast<double>(base::DefaultClock()->NowMicroseconds()) / 1000.0;
}

// Counts SendUrl's warnings and passes every line on to the file when there
// is one.
class CountingLogger : public diagnostics::FileLogger {
 public:
  explicit CountingLogger(std::wstring path)
      : FileLogger(path, kDefaultMaxSize), to_file_(!path.empty()) {}
  void Emit(const base::LogRecord& record) override {
    if (record.severity == base::Severity::kWarning &&
        std::string(record.function) == "SendUrl") {
      if (warnings_.fetch_add(1) == 0) {
        ::AcquireSRWLockExclusive(&lock_);
        first_warning_ = record.message;
        ::ReleaseSRWLockExclusive(&lock_);
      }
    }
    if (to_file_)
      FileLogger::Emit(record);
  }
  int warnings() const { return warnings_.load(); }
  std::string first_warning() {
    ::AcquireSRWLockExclusive(&lock_);
    std::string text = first_warning_;
    ::ReleaseSRWLockExclusive(&lock_);
    return text;
  }

 private:
  const bool to_file_;
  std::atomic<int> warnings_{0};
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::string first_warning_;
};

// The benchmark leaves the installer's registry key alone.
class DetachedSystem : public stats::StatSenderSystem {
 public:
  std::wstring ReadValue(const std::wstring&) override { return {}; }
  void StoreValue(const std::wstring&, const std::wstring&) override {}
  void RemoveValue(const std::wstring&) override {}
};

struct Progress {
  std::atomic<long> sent{0};
  std::atomic<double> first_start_ms{0};
  std::atomic<double> last_end_ms{0};
  base::ManualResetEvent all_sent;
  long expected = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4 || argc > 5) {
    std::fwprintf(stderr, L"usage: stats_bench <host[:port]> <events> <seconds> [<log file>]\n");
    return 2;
  }
  const std::wstring host = argv[1];
  const long events = std::wcstol(argv[2], nullptr, 10);
  const DWORD seconds = std::wcstoul(argv[3], nullptr, 10);
  auto owned_logger = std::make_unique<CountingLogger>(argc == 5 ? argv[4] : L"");
  CountingLogger* logger = owned_logger.get();
  diagnostics::InstallLogger(std::move(owned_logger));

  Progress progress;
  progress.expected = events;
  DetachedSystem system;
  stats::StatReporterEnvironment environment;
  environment.host = host;
  environment.system = &system;
  environment.send = [&progress](const std::wstring& url) {
    double start = NowMs();
    double expected_zero = 0;
    progress.first_start_ms.compare_exchange_strong(expected_zero, start);
    stats::SendUrl(url);
    progress.last_end_ms = NowMs();
    if (progress.sent.fetch_add(1) + 1 == progress.expected)
      progress.all_sent.Signal();
  };

  auto reporter = std::make_unique<stats::StatReporter>(L"", L"{BENCH}", environment);
  reporter->SetParam("brand_id", L"tarnix");
  reporter->SetParam("partner_id", L"bench");
  std::vector<double> spent_ms;
  spent_ms.reserve(events > 0 ? events : 0);
  const double queue_start = NowMs();
  const wchar_t* control_variable = _wgetenv(L"TX_BENCH_CONTROL");
  const std::wstring control = control_variable ? control_variable : L"";
  volatile unsigned long control_sink = 0;
  for (long i = 0; i < events; ++i) {
    double before = NowMs();
    stats::InstallEvent event = {
        {"action", L"download_attempt"},
        {"status", L"failed"},
        {"attempt_number", std::to_wstring(i + 1)},
        {"error", L"internet_read-12002"},
        {"url", L"https%3A%2F%2Fdownload.cdn.tarnix.net%2Fbrowser%2Fsetup.arc"}};
    if (i > 0 && control == L"spin") {
      for (int k = 0; k < 40000; ++k)
        control_sink = control_sink + k;
    } else if (i > 0 && control == L"alloc") {
      std::wstring text;
      for (const auto& [key, value] : event)
        text += base::Utf8ToWide(key) + L"=" + value + L"&";
      control_sink = control_sink + text.size();
    } else {
      reporter->SendEvent(event);
    }
    spent_ms.push_back(NowMs() - before);
  }
  const double queue_ms = NowMs() - queue_start;

  progress.all_sent.TimedWait(seconds * 1000);
  const long sent = progress.sent.load();
  const double first = progress.first_start_ms.load();
  const double last = progress.last_end_ms.load();
  const double destroy_start = NowMs();
  reporter.reset();
  const double destroy_ms = NowMs() - destroy_start;

  const double send_seconds = sent > 0 ? (last - first) / 1000.0 : 0.0;
  std::printf("host=%s\n", base::WideToUtf8(host).c_str());
  std::printf("events=%ld\n", events);
  std::printf("queue_us_per_event=%.1f\n", queue_ms * 1000.0 / (events > 0 ? events : 1));
  // The tail tells a slow call from a preempted one: a few outliers among
  // thousands are the scheduler, a fat tail is the code.
  std::printf("queue_us_first=%.1f\n", spent_ms.empty() ? 0.0 : spent_ms[0] * 1000.0);
  std::sort(spent_ms.begin(), spent_ms.end());
  auto at = [&](double share) {
    return spent_ms.empty() ? 0.0 : spent_ms[static_cast<size_t>(share * (spent_ms.size() - 1))];
  };
  std::printf("queue_us_p99=%.1f\n", at(0.99) * 1000.0);
  std::printf("queue_us_p999=%.1f\n", at(0.999) * 1000.0);
  std::printf("queue_us_max=%.1f\n", at(1.0) * 1000.0);
  std::printf("queue_calls_over_1ms=%ld\n",
              static_cast<long>(spent_ms.end() -
                                std::upper_bound(spent_ms.begin(), spent_ms.end(), 1.0)));
  std::printf("sent=%ld\n", sent);
  std::printf("send_seconds=%.2f\n", send_seconds);
  std::printf("requests_per_second=%.1f\n", send_seconds > 0 ? sent / send_seconds : 0.0);
  std::printf("send_warnings=%d\n", logger->warnings());
  std::printf("first_warning=%s\n", logger->first_warning().c_str());
  std::printf("destroy_ms=%.1f\n", destroy_ms);
  diagnostics::InstallLogger(nullptr);
  return 0;
}
