#include "download/downloader.h"

#include <wininet.h>

#include <cstdio>

#include "base/clock.h"
#include "base/exception_guard.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "diagnostics/logging.h"

namespace download {

namespace {

constexpr uint32_t kHttpOk = 200;
constexpr uint32_t kHttpPartialContent = 206;
constexpr uint32_t kEstimateIntervalMs = 60000;
constexpr uint64_t kSlowDownloadSeconds = 120;
constexpr uint32_t kDelayLoadModuleNotFound = 0xC06D007E;

// Parses "bytes FIRST-LAST/TOTAL"; answers false for anything else.
bool ParseContentRange(const std::string& text, uint32_t* first, uint32_t* last,
                       uint32_t* total) {
  unsigned long long a = 0, b = 0, c = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "bytes %llu-%llu/%llu%c", &a, &b, &c, &tail) != 3)
    return false;
  if (a > b || b >= c || c > UINT32_MAX)
    return false;
  *first = static_cast<uint32_t>(a);
  *last = static_cast<uint32_t>(b);
  *total = static_cast<uint32_t>(c);
  return true;
}

struct OpenUrlCall {
  HttpClient* client;
  const std::wstring* url;
  const std::wstring* headers;
  std::wstring* redirect_url;
  std::unique_ptr<HttpResponse> response;
  DWORD error = 0;
};

void CallOpenUrl(void* context) {
  auto* call = static_cast<OpenUrlCall*>(context);
  call->response = call->client->OpenUrl(*call->url, *call->headers, call->redirect_url);
  call->error = ::GetLastError();
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

bool Downloader::AcceptsResumeAt(uint32_t offset) {
  uint32_t status = 0, first = 0, last = 0, total = 0;
  std::string range;
  if (!response_->QueryStatus(&status) || status != kHttpPartialContent ||
      !response_->QueryHeader("Content-Range", &range) ||
      !ParseContentRange(range, &first, &last, &total) || first != offset) {
    return false;
  }
  resume_offset_ = offset;
  range_total_ = total;
  return true;
}

bool Downloader::OpenDownload(const std::wstring& url, DownloadSink* sink) {
  url_.clear();
  error_.clear();
  redirect_url_.clear();
  open_failure_ = OpenFailureInfo();
  content_length_ = 0;
  resume_offset_ = 0;
  range_total_ = 0;
  sink_ = nullptr;
  response_.reset();
  client_ = factory_->CreateClient();

  if (!client_->OpenSession()) {
    SetError("internet_open-", ::GetLastError());
    return false;
  }

  uint32_t offset = sink->total_written();
  std::wstring headers;
  if (offset)
    headers = L"Range: bytes=" + std::to_wstring(offset) + L"-\r\n";
  OpenUrlCall call{client_.get(), &url, &headers, &redirect_url_, nullptr};
  base::GuardedCallException exception;
  base::CallWithExceptionGuard(&CallOpenUrl, &call, &exception);
  if (exception.code) {
    open_failure_.exception_code = exception.code;
    // Only a library that could not be found is named.
    if (exception.code == kDelayLoadModuleNotFound) {
      open_failure_.exception_dll = exception.dll;
      open_failure_.exception_proc = exception.proc;
    }
    PLOG(ERROR) << "An attempt to open url " << url << " generated an exception "
                << static_cast<unsigned long>(exception.code);
    return false;
  }
  response_ = std::move(call.response);
  if (!response_) {
    SetError("internet_open_url-", call.error);
    return false;
  }

  if (offset && !AcceptsResumeAt(offset)) {
    // A server that ignores the range would send the body from byte 0.
    SetError("internet_set_file_pointer-", ERROR_INTERNET_INVALID_OPERATION);
    sink->Reset();
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
  if (!OpenDownload(base::WidenBytes(url), sink))
    return false;
  while (ReadChunk() > 0) {
    if (stop_event && ::WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0)
      break;
  }
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
  bool ok = false;
  if (downloader.OpenDownload(url, sink)) {
    if (progress && sink->total_written() == 0) {
      progress->SetFraction(0.0f);
      progress->SetRemainingTime(-1, DownloadProgress::kStarted);
    }
    const int64_t start_ms = clock->NowMicroseconds() / 1000;
    uint32_t last_estimate_ms = 0;
    for (;;) {
      if (stop_event && ::WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0)
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
      uint64_t remaining_seconds = remaining_ms / 1000;
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
  }
  return ok;
}

}  // namespace download
