#ifndef DOWNLOAD_HTTP_CLIENT_H_
#define DOWNLOAD_HTTP_CLIENT_H_

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/exception_guard.h"

namespace download {

// One opened HTTP response. Calls leave the thread's last error set on failure.
class HttpResponse {
 public:
  virtual ~HttpResponse() = default;
  // Reads up to `size` bytes of the body; `*read` is 0 at its end. Fails with
  // ERROR_INTERNET_OPERATION_CANCELLED once the client's stop event is set.
  virtual bool Read(void* buffer, uint32_t size, uint32_t* read) = 0;
  virtual bool QueryStatus(uint32_t* status) = 0;
  // False when the response carries no (numeric) Content-Length.
  virtual bool QueryContentLength(uint32_t* length) = 0;
  // Any response header by name; false when absent.
  virtual bool QueryHeader(const std::string& name, std::string* value) = 0;
};

// The validity period of a server certificate, in microseconds since
// 1601-01-01 UTC; both 0 when unknown.
struct CertificateDates {
  int64_t not_before_us = 0;
  int64_t not_after_us = 0;
};

// What opening a URL found out besides the response.
struct OpenUrlDetails {
  // The last redirect target seen while opening; empty when none.
  std::wstring redirect_url;
  // A structured exception raised inside the HTTP stack; code 0 when none.
  base::GuardedCallException exception;
  // Filled when the server's certificate was refused for its dates.
  CertificateDates certificate;
};

// The HTTP layer under the download engine: WinINet in the product, a scripted
// fake in tests. Used by one thread at a time.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Opens the client session; false with the last error set. Once
  // `stop_event` (may be null) is signalled, a call that waits on the network
  // fails at once with ERROR_INTERNET_OPERATION_CANCELLED, wherever it was
  // (resolving the name, connecting, reading). The one exception: a request
  // opened after the stop still gets a moment to go out, so that a last
  // report reaches its server.
  virtual bool OpenSession(HANDLE stop_event) = 0;
  // Sends a GET for `url` with `extra_headers` ("Name: value\r\n" lines) and
  // no cache reuse, following redirects. Null with the last error set on
  // failure. Structured exceptions raised inside are caught and described in
  // `details`.
  virtual std::unique_ptr<HttpResponse> OpenUrl(const std::wstring& url,
                                                const std::wstring& extra_headers,
                                                OpenUrlDetails* details) = 0;
};

// Makes one client per download. May be called from any thread.
class HttpClientFactory {
 public:
  virtual ~HttpClientFactory() = default;
  virtual std::unique_ptr<HttpClient> CreateClient() = 0;
};

// The product's factory: WinINet clients.
HttpClientFactory* DefaultHttpClientFactory();

}  // namespace download

#endif  // DOWNLOAD_HTTP_CLIENT_H_
