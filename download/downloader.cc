#include "download/downloader.h"

#include <wininet.h>

#include "base/clock.h"
#include "base/event_watch.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/logging.h"

namespace download {

namespace {

constexpr uint32_t kHttpOk = 200;
constexpr uint32_t kHttpPartialContent = 206;
constexpr uint32_t kEstimateIntervalMs = 60000;
constexpr uint64_t kSlowDownloadSeconds = 120;
// Thirty days: a longer estimate says no more, and stays far from the limit
// of the 32-bit seconds that the progress receives.
constexpr uint64_t kMaxRemainingSeconds = 30 * 24 * 3600;
constexpr uint32_t kDelayLoadModuleNotFound = 0xC06D007E;

// Reads the decimal digits at `*at`, up to `stop` (or the end when `stop` is
// 0), and steps past them and `stop`. Answers false when there are no digits,
// something else comes first, or the number overflows.
bool ReadNumberUntil(const std::string& text, size_t* at, char stop, uint64_t* value) {
  size_t end = stop ? text.find(stop, *at) : text.size();
  if (end == std::string::npos)
    return false;
  if (!base::ParseUnsignedDecimal(base::WidenBytes(std::string_view(text).substr(*at, end - *at)),
                                  value))
    return false;
  *at = stop ? end + 1 : end;
  return true;
}

// Parses "bytes FIRST-LAST/TOTAL"; answers false for anything else.
bool ParseContentRange(const std::string& text, uint32_t* first, uint32_t* last,
                       uint32_t* total) {
  constexpr std::string_view kUnit = "bytes ";
  if (text.compare(0, kUnit.size(), kUnit) != 0)
    return false;
  size_t at = kUnit.size();
  uint64_t a = 0, b = 0, c = 0;
  if (!ReadNumberUntil(text, &at, '-', &a) || !ReadNumberUntil(text, &at, '/', &b) ||
      !ReadNumberUntil(text, &at, 0, &c))
    return false;
  if (a > b || b >= c || c > UINT32_MAX)
    return false;
  *first = static_cast<uint32_t>(a);
  *last = static_cast<uint32_t>(b);
  *total = static_cast<uint32_t>(c);
  return true;
}

// A length of up to 32 bits in plain decimal digits.
bool IsDecimalLength(const std::string& text) {
  if (text.empty() || text.size() > 10)
    return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value <= UINT32_MAX;
}

bool IsSignaled(HANDLE event) {
  return event && ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

}  // namespace

Downloader::Downloader(HttpClientFactory* factory)
    : factory_(factory ? factory : DefaultHttpClientFactory()), buffer_(kChunkSize, 0) {}

Downloader::~Downloader() = default;

void Downloader::SetError(const char* stage, DWORD code) {
  error_ = std::string(stage) + std::to_string(code);
}

bool Downloader::StatusIsSuccess(uint32_t status) const {
  return resume_offset_ ? status == kHttpPartialContent : status == kHttpOk;
}

bool Downloader::AcceptsResumeAt(uint32_t offset, const ResponseIdentity& identity) {
  uint32_t status = 0, first = 0, last = 0, total = 0;
  std::string range;
  if (!response_->QueryStatus(&status) || status != kHttpPartialContent ||
      !response_->QueryHeader("Content-Range", &range) ||
      !ParseContentRange(range, &first, &last, &total) || first != offset) {
    return false;
  }
  // A server that ignored If-Range may answer from another file; any
  // difference it shows means the bytes would not fit together.
  if (identity.length && total != identity.length)
    return false;
  ResponseIdentity now = ReadIdentity();
  if ((!identity.etag.empty() && !now.etag.empty() && now.etag != identity.etag) ||
      (!identity.last_modified.empty() && !now.last_modified.empty() &&
       now.last_modified != identity.last_modified)) {
    return false;
  }
  resume_offset_ = offset;
  range_total_ = total;
  return true;
}

ResponseIdentity Downloader::ReadIdentity() {
  ResponseIdentity identity;
  uint32_t length = 0;
  if (response_->QueryContentLength(&length))
    identity.length = length;
  std::string etag;
  // If-Range compares strongly: a weak tag cannot vouch for the bytes.
  if (response_->QueryHeader("ETag", &etag) && etag.rfind("W/", 0) != 0)
    identity.etag = etag;
  response_->QueryHeader("Last-Modified", &identity.last_modified);
  return identity;
}

bool Downloader::HasReadableLength() {
  std::string length;
  return !response_->QueryHeader("Content-Length", &length) || IsDecimalLength(length);
}

bool Downloader::OpenDownload(const std::wstring& url, DownloadSink* sink, HANDLE stop_event) {
  url_.clear();
  error_.clear();
  redirect_url_.clear();
  open_failure_ = OpenFailureInfo();
  certificate_ = CertificateDates();
  content_length_ = 0;
  resume_offset_ = 0;
  range_total_ = 0;
  sink_ = nullptr;
  response_.reset();
  client_ = factory_->CreateClient();

  if (!client_->OpenSession(stop_event)) {
    SetError("internet_open-", ::GetLastError());
    return false;
  }

  uint32_t offset = sink->total_written();
  std::wstring headers;
  if (offset) {
    headers = L"Range: bytes=" + base::NumberToWString(offset) + L"-\r\n";
    // A server whose file changed since then answers with all of the new one.
    const ResponseIdentity& identity = sink->identity();
    const std::string& validator =
        !identity.etag.empty() ? identity.etag : identity.last_modified;
    if (!validator.empty())
      headers += L"If-Range: " + base::WidenBytes(validator) + L"\r\n";
  }
  OpenUrlDetails details;
  response_ = client_->OpenUrl(url, headers, &details);
  DWORD open_error = ::GetLastError();
  redirect_url_ = details.redirect_url;
  certificate_ = details.certificate;
  const base::GuardedCallException& exception = details.exception;
  if (exception.code) {
    open_failure_.exception_code = exception.code;
    // Only a library that could not be found is named.
    if (exception.code == kDelayLoadModuleNotFound) {
      open_failure_.exception_dll = exception.dll;
      open_failure_.exception_proc = exception.proc;
    }
    response_.reset();
    PLOG(ERROR) << "An attempt to open url " << url << " generated an exception "
                << static_cast<unsigned long>(exception.code);
    return false;
  }
  if (!response_) {
    SetError("internet_open_url-", open_error);
    return false;
  }

  if (offset) {
    if (!AcceptsResumeAt(offset, sink->identity())) {
      // The body that came is not the rest of the bytes in the sink: a
      // server that ignores the range, or a file that changed meanwhile.
      SetError("internet_set_file_pointer-", ERROR_INTERNET_INVALID_OPERATION);
      sink->Reset();
    }
  } else {
    sink->set_identity(ReadIdentity());
  }
  if (error_.empty() && !HasReadableLength()) {
    // Its end could not be told from a cut: such a body is never complete.
    SetError("internet_read-", ERROR_HTTP_INVALID_SERVER_RESPONSE);
    ELOG(ERROR, ERROR_HTTP_INVALID_SERVER_RESPONSE)
        << "Invalid Content-Length: " << GetResponseHeader("Content-Length");
  }

  url_ = url;
  sink_ = sink;
  LOG(INFO) << "Connection established: " << url;
  return true;
}

uint32_t Downloader::ReadChunk() {
  // Nothing is open after a failed open, even one that left no error text.
  if (!error_.empty() || !response_)
    return 0;
  uint32_t read = 0;
  if (!response_->Read(buffer_.data(), kChunkSize, &read)) {
    SetError("internet_read-", ::GetLastError());
    PLOG(ERROR) << "Download chunk error.";
    return 0;
  }
  uint32_t status = 0;
  if (response_->QueryStatus(&status) && !StatusIsSuccess(status)) {
    PLOG(ERROR) << "HTTP request status isn't OK";
    return 0;
  }
  if (read > 0 && !sink_->Write(buffer_.data(), read)) {
    SetError("write_file-", ::GetLastError());
    PLOG(ERROR) << "Write file error.";
    return 0;
  }
  if (content_length_ == 0)
    QueryContentLength();
  return read;
}

void Downloader::QueryContentLength() {
  // A ranged answer's Content-Length counts only the rest; the whole file's
  // length comes from its Content-Range.
  if (resume_offset_) {
    content_length_ = range_total_;
    return;
  }
  uint32_t length = 0;
  if (response_->QueryContentLength(&length))
    content_length_ = length;
}

bool Downloader::FinalizeDownload(uint32_t* status_out) {
  if (!error_.empty() || !response_)
    return false;
  uint32_t status = 0;
  bool queried = response_->QueryStatus(&status);
  DWORD error = ::GetLastError();
  if (queried && StatusIsSuccess(status)) {
    if (content_length_ == 0)
      QueryContentLength();
    // A connection that ends early looks like the end of the body to the
    // reader; only the announced length tells them apart.
    if (content_length_ == 0 || sink_->total_written() == content_length_)
      return true;
    SetError("internet_read-", ERROR_INTERNET_CONNECTION_ABORTED);
    ELOG(ERROR, ERROR_INTERNET_CONNECTION_ABORTED)
        << "Incomplete download: " << url_ << " received "
        << static_cast<unsigned long>(sink_->total_written()) << " of "
        << static_cast<unsigned long>(content_length_) << " bytes";
    return false;
  }
  if (!queried)
    status = 0;
  error_ = "final_query_info-" + std::to_string(status) + "-" + std::to_string(error);
  ELOG(ERROR, error) << "Unsuccessful download: " << url_;
  if (status_out)
    *status_out = status;
  return false;
}

std::string Downloader::GetResponseHeader(const std::string& name) {
  std::string value;
  if (!response_ || !response_->QueryHeader(name, &value))
    return {};
  return value;
}

bool Downloader::ReadLoop(const std::string& url, DownloadSink* sink, HANDLE stop_event) {
  if (!OpenDownload(base::WidenBytes(url), sink, stop_event))
    return false;
  do {
    // What arrived before a stop may look whole without being so (a body
    // without a length): a stop is never a success.
    if (IsSignaled(stop_event))
      return false;
  } while (ReadChunk() > 0);
  return FinalizeDownload();
}

bool Downloader::DownloadToFile(const std::string& url, const std::wstring& path,
                                HANDLE stop_event) {
  std::wstring temp = base::CreateTemporaryFileIn(base::GetTempDirectory());
  if (temp.empty())
    return false;
  bool ok = false;
  {
    base::ScopedHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.is_valid()) {
      FileSink sink(file.get());
      ok = ReadLoop(url, &sink, stop_event);
    }
  }
  if (ok) {
    ok = ::MoveFileExW(temp.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
  }
  ::DeleteFileW(temp.c_str());
  return ok;
}

bool Downloader::DownloadToString(const std::string& url, HANDLE stop_event,
                                  std::string* body) {
  StringSink sink;
  if (!ReadLoop(url, &sink, stop_event))
    return false;
  *body = std::move(sink.data());
  return true;
}

bool DownloadUrl(const std::wstring& url, DownloadSink* sink, HANDLE stop_event,
                 DownloadProgress* progress, DownloadUrlResult* result,
                 HttpClientFactory* factory, base::Clock* clock) {
  if (!clock)
    clock = base::DefaultClock();
  Downloader downloader(factory);
  // Asked once per chunk: a look at a flag, where asking the kernel would
  // cost a round trip to the Wine server every 32 KiB.
  base::EventWatch stop(stop_event);
  bool ok = false;
  if (downloader.OpenDownload(url, sink, stop_event)) {
    if (progress && sink->total_written() == 0) {
      progress->SetFraction(0.0f);
      progress->SetRemainingTime(-1, DownloadProgress::kStarted);
    }
    const int64_t start_ms = clock->NowMicroseconds() / 1000;
    uint32_t last_estimate_ms = 0;
    for (;;) {
      if (stop.IsSignaled())
        break;
      if (downloader.ReadChunk() == 0) {
        ok = downloader.FinalizeDownload();
        if (ok && progress) {
          progress->SetFraction(1.0f);
          progress->SetRemainingTime(0, DownloadProgress::kCompleted);
        }
        break;
      }
      uint32_t elapsed_ms = static_cast<uint32_t>(clock->NowMicroseconds() / 1000 - start_ms);
      uint32_t total = downloader.content_length();
      if (total == 0)
        continue;
      uint32_t done = sink->total_written();
      if (progress)
        progress->SetFraction(static_cast<float>(done) / static_cast<float>(total));
      if (done == 0 || elapsed_ms - last_estimate_ms < kEstimateIntervalMs)
        continue;
      uint64_t remaining_ms =
          static_cast<uint64_t>(elapsed_ms) * (total > done ? total - done : 0) / done;
      // Near no progress the estimate can pass what a 32-bit count of
      // seconds holds (and what the window adds to it).
      uint64_t remaining_seconds =
          std::min<uint64_t>(remaining_ms / 1000, kMaxRemainingSeconds);
      last_estimate_ms = elapsed_ms;
      if (progress) {
        if (remaining_seconds + elapsed_ms / 1000 > kSlowDownloadSeconds)
          progress->OnSlowDownload();
        progress->SetRemainingTime(static_cast<int32_t>(remaining_seconds),
                                   DownloadProgress::kEstimate);
      }
    }
  }
  if (result) {
    result->error = base::WidenBytes(downloader.error());
    result->redirect_url = downloader.redirect_url();
    result->content_length = downloader.content_length();
    result->open_failure = downloader.open_failure();
    result->certificate = downloader.certificate();
  }
  return ok;
}

}  // namespace download
