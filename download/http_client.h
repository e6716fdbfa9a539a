#ifndef DOWNLOAD_HTTP_CLIENT_H_
#define DOWNLOAD_HTTP_CLIENT_H_

#include <cstdint>
#include <memory>
#include <string>

namespace download {

// One opened HTTP response. Calls leave the thread's last error set on failure.
class HttpResponse {
 public:
  virtual ~HttpResponse() = default;
  // Reads up to `size` bytes of the body; `*read` is 0 at its end.
  virtual bool Read(void* buffer, uint32_t size, uint32_t* read) = 0;
  virtual bool QueryStatus(uint32_t* status) = 0;
  // False when the response carries no (numeric) Content-Length.
  virtual bool QueryContentLength(uint32_t* length) = 0;
  // Any response header by name; false when absent.
  virtual bool QueryHeader(const std::string& name, std::string* value) = 0;
};

// The HTTP layer under the download engine: WinINet in the product, a scripted
// fake in tests.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Opens the client session; false with the last error set.
  virtual bool OpenSession() = 0;
  // Sends a GET for `url` with `extra_headers` ("Name: value\r\n" lines) and
  // no cache reuse, following redirects; the last redirect target seen while
  // opening goes to `*redirect_url`. Null with the last error set on failure.
  // May raise a structured exception; the caller guards the call.
  virtual std::unique_ptr<HttpResponse> OpenUrl(const std::wstring& url,
                                                const std::wstring& extra_headers,
                                                std::wstring* redirect_url) = 0;
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
