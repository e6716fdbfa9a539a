#ifndef DOWNLOAD_FAKE_HTTP_FOR_TESTING_H_
#define DOWNLOAD_FAKE_HTTP_FOR_TESTING_H_

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/exception_guard.h"
#include "download/http_client.h"

namespace download {

// What the fake server answers to one request. For tests only.
struct FakeResponse {
  bool open_fails = false;          // InternetOpenUrlW fails with `error`.
  DWORD error = ERROR_INTERNET_CANNOT_CONNECT;
  uint32_t raise_code = 0;          // Raise this structured exception while opening.
  const void* raise_argument = nullptr;  // ExceptionInformation[0] of it.
  uint32_t status = 200;
  std::string body;
  std::optional<uint32_t> content_length;  // The Content-Length header; absent if unset.
  std::map<std::string, std::string> headers;
  size_t cut_after = SIZE_MAX;      // The body ends (quietly) after this many bytes...
  DWORD read_error = 0;             // ...or, when set, reading there fails with it.
  std::wstring redirect_url;        // The last redirect target seen while opening.
  std::function<void()> on_read;   // Runs before each read (tests move clocks here).
};

// One request as the fake server saw it.
struct FakeRequest {
  std::wstring url;
  std::wstring headers;
  // The offset of a "Range: bytes=N-" header; nullopt without one.
  std::optional<uint32_t> range_start;
};

// The answer of a well-behaved server for `body`: 200 with the whole body, or
// 206 from the requested offset.
inline FakeResponse ServeBody(const std::string& body, const FakeRequest& request) {
  FakeResponse response;
  uint32_t size = static_cast<uint32_t>(body.size());
  if (request.range_start && *request.range_start < size) {
    uint32_t start = *request.range_start;
    response.status = 206;
    response.body = body.substr(start);
    response.content_length = size - start;
    response.headers["Content-Range"] = "bytes " + std::to_string(start) + "-" +
                                        std::to_string(size - 1) + "/" + std::to_string(size);
  } else {
    response.body = body;
    response.content_length = size;
  }
  return response;
}

// An HTTP layer whose answers a test scripts request by request.
class FakeHttp : public HttpClientFactory {
 public:
  using Handler = std::function<FakeResponse(const FakeRequest& request, size_t index)>;

  explicit FakeHttp(Handler handler) : handler_(std::move(handler)) {}

  std::unique_ptr<HttpClient> CreateClient() override {
    return std::make_unique<Client>(this);
  }
  const std::vector<FakeRequest>& requests() const { return requests_; }
  // When set, opening a session fails with this error.
  DWORD session_error = 0;

 private:
  class Response : public HttpResponse {
   public:
    explicit Response(FakeResponse scripted) : r_(std::move(scripted)) {}
    bool Read(void* buffer, uint32_t size, uint32_t* read) override {
      if (r_.on_read)
        r_.on_read();
      size_t end = std::min(r_.body.size(), r_.cut_after);
      if (offset_ >= end && r_.read_error && end < r_.body.size()) {
        ::SetLastError(r_.read_error);
        *read = 0;
        return false;
      }
      size_t count = std::min<size_t>(size, end - std::min(offset_, end));
      std::memcpy(buffer, r_.body.data() + offset_, count);
      offset_ += count;
      *read = static_cast<uint32_t>(count);
      return true;
    }
    bool QueryStatus(uint32_t* status) override {
      *status = r_.status;
      return true;
    }
    bool QueryContentLength(uint32_t* length) override {
      if (!r_.content_length) {
        ::SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
        return false;
      }
      *length = *r_.content_length;
      return true;
    }
    bool QueryHeader(const std::string& name, std::string* value) override {
      auto it = r_.headers.find(name);
      if (it == r_.headers.end())
        return false;
      *value = it->second;
      return true;
    }

   private:
    FakeResponse r_;
    size_t offset_ = 0;
  };

  class Client : public HttpClient {
   public:
    explicit Client(FakeHttp* owner) : owner_(owner) {}
    // Ignores the stop event: its answers never keep a caller waiting.
    bool OpenSession(HANDLE) override {
      if (!owner_->session_error)
        return true;
      ::SetLastError(owner_->session_error);
      return false;
    }
    std::unique_ptr<HttpResponse> OpenUrl(const std::wstring& url,
                                          const std::wstring& extra_headers,
                                          OpenUrlDetails* details) override {
      FakeRequest request{url, extra_headers, std::nullopt};
      const std::wstring kRange = L"Range: bytes=";
      size_t at = extra_headers.find(kRange);
      if (at != std::wstring::npos)
        request.range_start = static_cast<uint32_t>(std::wcstoul(
            extra_headers.c_str() + at + kRange.size(), nullptr, 10));
      size_t index = owner_->requests_.size();
      owner_->requests_.push_back(request);
      FakeResponse response = owner_->handler_(request, index);
      if (response.raise_code) {
        // Raised and caught as inside the real HTTP stack.
        base::CallWithExceptionGuard(&Raise, &response, &details->exception);
        ::SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return nullptr;
      }
      if (response.open_fails) {
        ::SetLastError(response.error);
        return nullptr;
      }
      details->redirect_url = response.redirect_url;
      return std::make_unique<Response>(std::move(response));
    }

   private:
    static void Raise(void* context) {
      auto* response = static_cast<const FakeResponse*>(context);
      ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(response->raise_argument);
      ::RaiseException(response->raise_code, 0, argument ? 1 : 0, argument ? &argument : nullptr);
    }

    FakeHttp* owner_;
  };

  Handler handler_;
  std::vector<FakeRequest> requests_;
};

}  // namespace download

#endif  // DOWNLOAD_FAKE_HTTP_FOR_TESTING_H_
