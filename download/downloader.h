#ifndef DOWNLOAD_DOWNLOADER_H_
#define DOWNLOAD_DOWNLOADER_H_

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/download_sink.h"
#include "download/http_client.h"

namespace base {
class Clock;
}

namespace download {

// Receives a download's progress; called on the downloading thread.
class DownloadProgress {
 public:
  enum RemainingTimeState { kStarted = 0, kEstimate = 1, kCompleted = 2 };
  virtual ~DownloadProgress() = default;
  virtual void SetFraction(float fraction) = 0;
  virtual void OnSlowDownload() = 0;
  virtual void SetRemainingTime(int32_t seconds, int32_t state) = 0;
};

// A structured exception caught while opening a URL.
struct OpenFailureInfo {
  uint32_t exception_code = 0;
  std::string exception_dll;
  std::string exception_proc;
};

// One HTTP download into a sink. Never retries by itself. Used by one thread
// at a time; the stop event may be signalled from any thread.
class Downloader {
 public:
  // `factory` may be null: WinINet.
  explicit Downloader(HttpClientFactory* factory = nullptr);
  virtual ~Downloader();
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  // Fetches an ASCII URL into `path` through a temporary file that is moved
  // into place only after a complete download. A stop is a failure.
  virtual bool DownloadToFile(const std::string& url, const std::wstring& path,
                              HANDLE stop_event);
  // Fetches an ASCII URL into memory; `body` changes only on success. A stop
  // is a failure.
  virtual bool DownloadToString(const std::string& url, HANDLE stop_event, std::string* body);
  // Opens `url` for reading into `sink`. When the sink already holds N bytes,
  // asks for the rest of the same file from offset N; an answer that does not
  // continue that file from N leaves a failed-seek error and an emptied sink
  // (the open still succeeds). Once `stop_event` (may be null) is signalled,
  // the network calls of this download end at once.
  virtual bool OpenDownload(const std::wstring& url, DownloadSink* sink,
                            HANDLE stop_event = nullptr);
  // Reads one chunk into the sink. 0 means end of body or failure;
  // FinalizeDownload tells them apart.
  virtual uint32_t ReadChunk();
  // True when the whole body arrived with a successful status.
  virtual bool FinalizeDownload(uint32_t* status = nullptr);

  // A response header after OpenDownload; empty when absent.
  std::string GetResponseHeader(const std::string& name);

  const std::wstring& url() const { return url_; }
  const std::string& error() const { return error_; }
  const std::wstring& redirect_url() const { return redirect_url_; }
  // The whole body's length, including bytes a resumed download skipped; 0
  // until the first chunk, or when the server announced none.
  uint32_t content_length() const { return content_length_; }
  const OpenFailureInfo& open_failure() const { return open_failure_; }
  // The refused certificate's dates after an open that failed on them.
  const CertificateDates& certificate() const { return certificate_; }

  static constexpr uint32_t kChunkSize = 32768;

 private:
  bool ReadLoop(const std::string& url, DownloadSink* sink, HANDLE stop_event);
  void SetError(const char* stage, DWORD code);
  // Checks the answer to a ranged request; answers false when it does not
  // continue the file `identity` describes at `offset`.
  bool AcceptsResumeAt(uint32_t offset, const ResponseIdentity& identity);
  // What identifies the answer's file, for a later resume.
  ResponseIdentity ReadIdentity();
  // False when the answer announces a length that is not a number.
  bool HasReadableLength();
  bool StatusIsSuccess(uint32_t status) const;
  void QueryContentLength();

  HttpClientFactory* factory_;
  std::wstring url_;
  std::string error_;
  OpenFailureInfo open_failure_;
  CertificateDates certificate_;
  std::wstring redirect_url_;
  uint32_t content_length_ = 0;
  uint32_t resume_offset_ = 0;  // Bytes skipped by a ranged request.
  uint32_t range_total_ = 0;    // The whole length a ranged answer announced.
  DownloadSink* sink_ = nullptr;
  std::unique_ptr<HttpClient> client_;
  std::unique_ptr<HttpResponse> response_;
  std::vector<char> buffer_;
};

struct DownloadUrlResult {
  std::wstring error;  // The downloader's error text.
  std::wstring redirect_url;
  uint32_t content_length = 0;
  OpenFailureInfo open_failure;
  CertificateDates certificate;
};

// Downloads `url` into `sink` with progress, remaining-time estimates at most
// once a minute, and the slow-download notice. `stop_event`, `progress`,
// `result`, `factory` and `clock` may be null. True only when the download
// completed; a stop ends it at once, wherever it was, as a failure.
bool DownloadUrl(const std::wstring& url, DownloadSink* sink, HANDLE stop_event,
                 DownloadProgress* progress, DownloadUrlResult* result,
                 HttpClientFactory* factory = nullptr, base::Clock* clock = nullptr);

}  // namespace download

#endif  // DOWNLOAD_DOWNLOADER_H_
