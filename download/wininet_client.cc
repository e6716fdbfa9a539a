#include "download/wininet_client.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "base/clock.h"
#include "base/exception_guard.h"
#include "base/scoped_internet_handle.h"
#include "base/logging.h"
#include "download/blocking_call_thread.h"

namespace download {

namespace {

constexpr wchar_t kUserAgent[] = L"Tarnix.Browser lite installer";
constexpr DWORD kNetworkTimeoutMs = 60000;
// WinINet's own timeouts end a connection that stalls; this bound also ends
// what they do not cover while a request is sent, such as resolving a name.
constexpr DWORD kRequestLimitMs = 120000;
// Enough for a request to reach a server that answers.
constexpr DWORD kRequestAfterStopMs = 1000;
constexpr DWORD kReadBufferSize = 32768;
// Reads handed to the call thread at once: each wake-up of a thread costs a
// scheduler turn, which on a busy machine is worth several chunks.
constexpr DWORD kBatchChunks = 8;
// A batch returns early on a slow link, so that progress and writes follow.
constexpr ULONGLONG kBatchMaxMs = 100;

// Runs on the thread inside a WinINet call while a request is being sent;
// the context is the session's redirect string.
void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                             DWORD info_length) {
  if (status != INTERNET_STATUS_REDIRECT || !context || !info)
    return;
  auto* redirect_url = reinterpret_cast<std::wstring*>(context);
  *redirect_url = static_cast<const wchar_t*>(info);
}

bool QueryNumber(HINTERNET request, DWORD query, uint32_t* value) {
  DWORD number = 0;
  DWORD size = sizeof(number);
  if (!::HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr))
    return false;
  *value = number;
  return true;
}

// The validity of the server certificate of a request whose handshake failed.
// Only asked after a certificate error: on a request without TLS the query
// crashes inside Wine.
CertificateDates QueryCertificateDates(HINTERNET request) {
  INTERNET_CERTIFICATE_INFO info = {};
  DWORD size = sizeof(info);
  if (!::InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_CERTIFICATE_STRUCT, &info,
                              &size)) {
    return {};
  }
  for (auto* text : {info.lpszSubjectInfo, info.lpszIssuerInfo, info.lpszProtocolName,
                     info.lpszSignatureAlgName, info.lpszEncryptionAlgName}) {
    if (text)
      ::LocalFree(text);
  }
  return {base::FileTimeToMicroseconds(info.ftStart),
          base::FileTimeToMicroseconds(info.ftExpiry)};
}

}  // namespace

// The status and the length of an answer do not change while its body is
// read, so they are taken once, right after the request; the read running
// ahead on the call thread then never meets a query on the same handle.
struct AnswerFacts {
  bool has_status = false;
  DWORD status_error = 0;
  uint32_t status = 0;
  bool has_length = false;
  DWORD length_error = 0;
  uint32_t length = 0;
};

// The WinINet handles of one session and what the calls on them leave
// behind. The calling thread and the call thread take turns with it; a call
// that was given up keeps it, and the handles are closed where that call ends.
struct WinInetSession {
  std::wstring redirect_url;  // The status callback's context; outlives the handles.
  std::vector<char> buffer = std::vector<char>(kReadBufferSize * kBatchChunks);
  // The last call's result. A batch of reads may end in a failure or the end
  // of the body after `read` good bytes.
  bool ok = false;
  bool end = false;
  DWORD error = 0;
  DWORD read = 0;
  DWORD callback_error = 0;  // Why the status callback could not be set.
  base::GuardedCallException exception;
  CertificateDates certificate;
  AnswerFacts facts;  // Of the last request opened.
  // Closed in reverse order: the request first.
  base::ScopedInternetHandle session;
  base::ScopedInternetHandle connection;
  base::ScopedInternetHandle request;
};

// The calling thread's side of one session, shared by the client and its
// response.
class WinInetCaller {
 public:
  explicit WinInetCaller(HANDLE stop_event)
      : session_(std::make_shared<WinInetSession>()), stop_event_(stop_event) {}

  bool Start() { return thread_.Start(); }

  enum class CallKind {
    // Sends a request: bounded in time, and let out for a moment after a stop.
    kRequest,
    // Reads the body: WinINet's receive timeout ends a stall, and a slow but
    // living body may take long to fill a chunk.
    kRead,
  };

  // Runs `call` on the call thread. False, with the last error set, when the
  // call was given up: ERROR_INTERNET_OPERATION_CANCELLED for a stop,
  // ERROR_INTERNET_TIMEOUT for the time limit. `call` may only capture values:
  // it may run on after this returns.
  bool Run(std::function<void(WinInetSession&)> call, CallKind kind) {
    if (given_up_error_) {
      ::SetLastError(given_up_error_);
      return false;
    }
    HANDLE stop = stop_event_;
    DWORD limit = kind == CallKind::kRequest ? kRequestLimitMs : INFINITE;
    DWORD error_at_limit = ERROR_INTERNET_TIMEOUT;
    if (kind == CallKind::kRequest && stop && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
      stop = nullptr;
      limit = kRequestAfterStopMs;
      error_at_limit = ERROR_INTERNET_OPERATION_CANCELLED;
    }
    auto outcome = thread_.Run(
        [session = session_, call = std::move(call)] { call(*session); }, stop, limit);
    return Settle(outcome, error_at_limit);
  }

  // Starts a read on the call thread and returns at once, so that the next
  // chunk comes in while the caller writes this one; CollectRead waits for
  // it. Same rules as Run with CallKind::kRead. False, with the last error
  // set, when nothing could be started.
  bool PostRead(std::function<void(WinInetSession&)> call) {
    if (given_up_error_) {
      ::SetLastError(given_up_error_);
      return false;
    }
    if (!thread_.Post([session = session_, call = std::move(call)] { call(*session); })) {
      ::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
      return false;
    }
    return true;
  }
  bool CollectRead() {
    if (given_up_error_) {
      ::SetLastError(given_up_error_);
      return false;
    }
    return Settle(thread_.Wait(stop_event_, INFINITE), ERROR_INTERNET_TIMEOUT);
  }

  // The session between calls; null, with the last error set, once a call
  // was given up (the call thread may still be using it).
  WinInetSession* session() {
    if (!given_up_error_)
      return session_.get();
    ::SetLastError(given_up_error_);
    return nullptr;
  }

 private:
  bool Settle(BlockingCallThread::Outcome outcome, DWORD error_at_limit) {
    if (outcome == BlockingCallThread::Outcome::kReturned)
      return true;
    given_up_error_ = outcome == BlockingCallThread::Outcome::kTimedOut
                          ? error_at_limit
                          : ERROR_INTERNET_OPERATION_CANCELLED;
    ::SetLastError(given_up_error_);
    return false;
  }

  // Declared first, released last: an idle call thread ends before the
  // handles close.
  std::shared_ptr<WinInetSession> session_;
  BlockingCallThread thread_;
  HANDLE stop_event_;
  DWORD given_up_error_ = 0;
};

namespace {

class WinInetResponse : public HttpResponse {
 public:
  WinInetResponse(std::shared_ptr<WinInetCaller> caller, const AnswerFacts& facts)
      : caller_(std::move(caller)), facts_(facts) {}

  // The call thread reads ahead, up to eight 32768-byte reads per hand-over,
  // while the caller writes what came before: the network and the disk work
  // at the same time, and a thread wakes once per batch, not per chunk.
  bool Read(void* buffer, uint32_t size, uint32_t* read) override {
    *read = 0;
    if (!have_batch_) {
      if (!collected_) {
        if (!in_flight_ && !StartRead(size))
          return false;
        if (!FinishRead())
          return false;
      }
      collected_ = false;
      have_batch_ = true;
      taken_ = 0;
      // The call thread fills the other buffer while this one is handed out.
      WinInetSession* s = caller_->session();
      batch_.swap(s->buffer);
      batch_ok_ = s->ok;
      batch_end_ = s->end;
      batch_error_ = s->error;
      batch_size_ = s->read;
      if (batch_ok_ && !batch_end_)
        StartRead(size);
    }
    if (taken_ == batch_size_) {
      // What came after the good bytes: the end of the body or a failure.
      if (batch_ok_ && !batch_end_) {
        have_batch_ = false;
        return Read(buffer, size, read);
      }
      if (!batch_ok_) {
        ::SetLastError(batch_error_);
        return false;
      }
      return true;
    }
    const DWORD count = std::min<DWORD>(size, batch_size_ - taken_);
    std::memcpy(buffer, batch_.data() + taken_, count);
    taken_ += count;
    *read = count;
    if (taken_ == batch_size_ && batch_ok_ && !batch_end_)
      have_batch_ = false;
    return true;
  }

  bool QueryStatus(uint32_t* status) override {
    if (!caller_->session())
      return false;
    if (!facts_.has_status) {
      ::SetLastError(facts_.status_error);
      return false;
    }
    *status = facts_.status;
    return true;
  }

  bool QueryContentLength(uint32_t* length) override {
    if (!caller_->session())
      return false;
    if (!facts_.has_length) {
      ::SetLastError(facts_.length_error);
      return false;
    }
    *length = facts_.length;
    return true;
  }

  bool QueryHeader(const std::string& name, std::string* value) override {
    // The handle serves one call at a time: a read running ahead lands first.
    if (in_flight_ && !FinishRead())
      return false;
    WinInetSession* s = caller_->session();
    if (!s)
      return false;
    // HTTP_QUERY_CUSTOM takes the header name in the buffer it answers into.
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (::HttpQueryInfoA(s->request.get(), HTTP_QUERY_CUSTOM, buffer.data(), &size,
                           nullptr)) {
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
  bool StartRead(uint32_t size) {
    // A read that is given up may still land, so it lands in the session.
    const DWORD wanted = std::min<DWORD>(size, kReadBufferSize);
    in_flight_ = caller_->PostRead([wanted](WinInetSession& s) {
      s.ok = true;
      s.end = false;
      s.read = 0;
      s.buffer.resize(kReadBufferSize * kBatchChunks);
      const ULONGLONG start = ::GetTickCount64();
      do {
        DWORD count = 0;
        if (!::InternetReadFile(s.request.get(), s.buffer.data() + s.read, wanted, &count)) {
          s.ok = false;
          s.error = ::GetLastError();
          return;
        }
        if (count == 0) {
          s.end = true;
          return;
        }
        s.read += count;
      } while (s.read + wanted <= s.buffer.size() && ::GetTickCount64() - start < kBatchMaxMs);
    });
    return in_flight_;
  }

  // Waits for the batch in flight; it stays in the session until Read takes it.
  bool FinishRead() {
    in_flight_ = false;
    if (!caller_->CollectRead())
      return false;
    collected_ = true;
    return true;
  }

  std::shared_ptr<WinInetCaller> caller_;
  const AnswerFacts facts_;
  bool in_flight_ = false;  // A batch was started and not yet collected.
  bool collected_ = false;  // A collected batch waits in the session.
  // The collected batch, `taken_` bytes of it given out, and how it ended.
  bool have_batch_ = false;
  std::vector<char> batch_ = std::vector<char>(kReadBufferSize * kBatchChunks);
  DWORD batch_size_ = 0;
  bool batch_ok_ = true;
  bool batch_end_ = false;
  DWORD batch_error_ = 0;
  DWORD taken_ = 0;
};

class WinInetClientFactory : public HttpClientFactory {
 public:
  std::unique_ptr<HttpClient> CreateClient() override {
    return std::make_unique<WinInetClient>();
  }
};

struct SendCall {
  WinInetSession* session;
  const std::wstring* headers;
};

void CallSendRequest(void* context) {
  auto* call = static_cast<SendCall*>(context);
  call->session->ok = ::HttpSendRequestW(call->session->request.get(), call->headers->c_str(),
                                         static_cast<DWORD>(-1), nullptr, 0) != 0;
  call->session->error = ::GetLastError();
}

// Opens `url` the way InternetOpenUrlW does, but keeps the request handle
// when sending fails, so that a refused certificate can still be looked at.
// Runs on the call thread.
void OpenOnCallThread(WinInetSession& s, const std::wstring& url, const std::wstring& headers) {
  s.ok = false;
  s.redirect_url.clear();
  s.exception = base::GuardedCallException();
  s.certificate = CertificateDates();
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    s.error = ::GetLastError();
    return;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTPS && parts.nScheme != INTERNET_SCHEME_HTTP) {
    s.error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    return;
  }
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
  object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (object.empty())
    object = L"/";

  s.callback_error = 0;
  if (::InternetSetStatusCallbackW(s.session.get(), &StatusCallback) ==
      INTERNET_INVALID_STATUS_CALLBACK) {
    s.callback_error = ::GetLastError();
  }
  auto context = reinterpret_cast<DWORD_PTR>(&s.redirect_url);
  s.request.reset();
  s.connection.reset(::InternetConnectW(s.session.get(), host.c_str(), parts.nPort, nullptr,
                                        nullptr, INTERNET_SERVICE_HTTP, 0, context));
  if (s.connection.is_valid()) {
    DWORD flags = INTERNET_FLAG_RELOAD;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
      flags |= INTERNET_FLAG_SECURE;
    s.request.reset(::HttpOpenRequestW(s.connection.get(), L"GET", object.c_str(), nullptr,
                                       nullptr, nullptr, flags, context));
  }
  if (!s.request.is_valid()) {
    s.error = ::GetLastError();
  } else {
    SendCall call{&s, &headers};
    base::CallWithExceptionGuard(&CallSendRequest, &call, &s.exception);
    if (s.exception.code) {
      // WinINet may have been left in the middle of something: its request
      // is not touched again, not even to close it.
      s.ok = false;
      (void)s.request.release();
      (void)s.connection.release();
    } else if (!s.ok && s.error == ERROR_INTERNET_SEC_CERT_DATE_INVALID) {
      s.certificate = QueryCertificateDates(s.request.get());
    }
  }
  // Redirects are recorded only while opening.
  if (s.request.is_valid())
    ::InternetSetStatusCallbackW(s.request.get(), nullptr);
  if (s.connection.is_valid())
    ::InternetSetStatusCallbackW(s.connection.get(), nullptr);
  ::InternetSetStatusCallbackW(s.session.get(), nullptr);
  if (!s.ok) {
    s.request.reset();
    s.connection.reset();
    return;
  }
  s.facts = AnswerFacts();
  s.facts.has_status = QueryNumber(s.request.get(), HTTP_QUERY_STATUS_CODE, &s.facts.status);
  s.facts.status_error = s.facts.has_status ? 0 : ::GetLastError();
  s.facts.has_length =
      QueryNumber(s.request.get(), HTTP_QUERY_CONTENT_LENGTH, &s.facts.length);
  s.facts.length_error = s.facts.has_length ? 0 : ::GetLastError();
}

}  // namespace

WinInetClient::WinInetClient() = default;
WinInetClient::~WinInetClient() = default;

bool WinInetClient::OpenSession(HANDLE stop_event) {
  auto caller = std::make_shared<WinInetCaller>(stop_event);
  WinInetSession* s = caller->session();
  s->session.reset(
      ::InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!s->session.is_valid())
    return false;
  // A server that accepts the connection and then says nothing must not hold
  // the download forever; some WinINet builds wait without limit.
  DWORD timeout = kNetworkTimeoutMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    ::InternetSetOptionW(s->session.get(), option, &timeout, sizeof(timeout));
  }
  if (!caller->Start())
    return false;
  caller_ = std::move(caller);
  return true;
}

std::unique_ptr<HttpResponse> WinInetClient::OpenUrl(const std::wstring& url,
                                                     const std::wstring& extra_headers,
                                                     OpenUrlDetails* details) {
  if (!caller_) {
    ::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return nullptr;
  }
  std::wstring headers = L"Accept: */*\r\n" + extra_headers;
  bool ran = caller_->Run(
      [url, headers](WinInetSession& s) { OpenOnCallThread(s, url, headers); },
      WinInetCaller::CallKind::kRequest);
  if (!ran)
    return nullptr;
  WinInetSession* s = caller_->session();
  if (s->callback_error) {
    ::SetLastError(s->callback_error);
    PLOG_AS("OpenDownload", ERROR) << "SetStatusCallback failed";
  }
  details->redirect_url = s->redirect_url;
  details->exception = s->exception;
  details->certificate = s->certificate;
  if (!s->ok) {
    ::SetLastError(s->error);
    return nullptr;
  }
  return std::make_unique<WinInetResponse>(caller_, s->facts);
}

HttpClientFactory* DefaultHttpClientFactory() {
  static WinInetClientFactory factory;
  return &factory;
}

}  // namespace download
