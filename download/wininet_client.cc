#include "download/wininet_client.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "diagnostics/logging.h"

namespace download {

namespace {

constexpr wchar_t kUserAgent[] = L"Tarnix.Browser lite installer";
constexpr DWORD kNetworkTimeoutMs = 60000;

// Runs on a WinINet thread while InternetOpenUrlW is in progress; the context
// is the caller's redirect string.
void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                             DWORD info_length) {
  if (status != INTERNET_STATUS_REDIRECT || !context || !info)
    return;
  auto* redirect_url = reinterpret_cast<std::wstring*>(context);
  *redirect_url = static_cast<const wchar_t*>(info);
}

class WinInetResponse : public HttpResponse {
 public:
  explicit WinInetResponse(HINTERNET request) : request_(request) {}

  bool Read(void* buffer, uint32_t size, uint32_t* read) override {
    DWORD count = 0;
    bool ok = ::InternetReadFile(request_.get(), buffer, size, &count) != 0;
    *read = ok ? count : 0;
    return ok;
  }

  bool QueryStatus(uint32_t* status) override {
    return QueryNumber(HTTP_QUERY_STATUS_CODE, status);
  }

  bool QueryContentLength(uint32_t* length) override {
    return QueryNumber(HTTP_QUERY_CONTENT_LENGTH, length);
  }

  bool QueryHeader(const std::string& name, std::string* value) override {
    // HTTP_QUERY_CUSTOM takes the header name in the buffer it answers into.
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (::HttpQueryInfoA(request_.get(), HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr)) {
        value->assign(buffer.data(), size);
        return true;
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
      buffer.assign(size + 1, '\0');
      std::copy(name.begin(), name.end(), buffer.begin());
    }
    return false;
  }

 private:
  bool QueryNumber(DWORD query, uint32_t* value) {
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (!::HttpQueryInfoW(request_.get(), query | HTTP_QUERY_FLAG_NUMBER, &number, &size,
                          nullptr)) {
      return false;
    }
    *value = number;
    return true;
  }

  base::ScopedInternetHandle request_;
};

class WinInetClientFactory : public HttpClientFactory {
 public:
  std::unique_ptr<HttpClient> CreateClient() override {
    return std::make_unique<WinInetClient>();
  }
};

}  // namespace

WinInetClient::WinInetClient() = default;
WinInetClient::~WinInetClient() = default;

bool WinInetClient::OpenSession() {
  session_.reset(
      ::InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session_.is_valid())
    return false;
  // A server that accepts the connection and then says nothing must not hold
  // the installation forever; some WinINet builds wait without limit.
  DWORD timeout = kNetworkTimeoutMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    ::InternetSetOptionW(session_.get(), option, &timeout, sizeof(timeout));
  }
  return true;
}

std::unique_ptr<HttpResponse> WinInetClient::OpenUrl(const std::wstring& url,
                                                     const std::wstring& extra_headers,
                                                     std::wstring* redirect_url) {
  if (::InternetSetStatusCallbackW(session_.get(), &StatusCallback) ==
      INTERNET_INVALID_STATUS_CALLBACK) {
    PLOG_AS("OpenDownload", ERROR) << "SetStatusCallback failed";
  }
  std::wstring headers = L"Accept: */*\r\n" + extra_headers;
  HINTERNET request = ::InternetOpenUrlW(session_.get(), url.c_str(), headers.c_str(),
                                         static_cast<DWORD>(-1), INTERNET_FLAG_RELOAD,
                                         reinterpret_cast<DWORD_PTR>(redirect_url));
  DWORD error = ::GetLastError();
  // Redirects are recorded only while opening.
  ::InternetSetStatusCallbackW(session_.get(), nullptr);
  ::SetLastError(error);
  if (!request)
    return nullptr;
  return std::make_unique<WinInetResponse>(request);
}

HttpClientFactory* DefaultHttpClientFactory() {
  static WinInetClientFactory factory;
  return &factory;
}

}  // namespace download
