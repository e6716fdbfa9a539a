#include "stats/send_url.h"

#include <windows.h>
#include <wininet.h>

#include "base/exception_guard.h"
#include "base/scoped_internet_handle.h"
#include "base/logging.h"

namespace stats {

namespace {

constexpr DWORD kTimeoutMs = 2000;
// Any non-zero context: WinINet reports no status for context 0.
constexpr DWORD_PTR kRequestContext = 1;

// Closing the request once it has been sent cancels the wait for the answer;
// the pending InternetOpenUrlW then fails with ERROR_INTERNET_OPERATION_CANCELLED.
void CALLBACK CloseWhenSent(HINTERNET handle, DWORD_PTR, DWORD status, void*, DWORD) {
  if (status == INTERNET_STATUS_REQUEST_SENT)
    ::InternetCloseHandle(handle);
}

struct OpenUrlCall {
  HINTERNET session;
  const std::wstring* url;
  HINTERNET request;
  DWORD error;
};

void OpenUrl(void* context) {
  auto* call = static_cast<OpenUrlCall*>(context);
  call->request = ::InternetOpenUrlW(call->session, call->url->c_str(), L"Accept: */*",
                                     static_cast<DWORD>(-1), INTERNET_FLAG_RELOAD,
                                     kRequestContext);
  call->error = ::GetLastError();
}

}  // namespace

void SendUrl(const std::wstring& url) {
  base::ScopedInternetHandle session(::InternetOpenW(L"Tarnix.Browser installer",
                                                     INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                                     nullptr, 0));
  if (!session.is_valid()) {
    PLOG(WARNING) << "Failed to open session for " << url;
    return;
  }
  // Request handles inherit the callback from the session.
  ::InternetSetStatusCallbackW(session.get(), &CloseWhenSent);
  DWORD timeout = kTimeoutMs;
  if (!::InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout,
                            sizeof(timeout)) ||
      !::InternetSetOptionW(session.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout,
                            sizeof(timeout))) {
    PLOG(WARNING) << "Failed to set internet options for " << url;
    return;
  }

  OpenUrlCall call = {session.get(), &url, nullptr, ERROR_SUCCESS};
  base::GuardedCallException exception;
  if (!base::CallWithExceptionGuard(&OpenUrl, &call, &exception)) {
    LOG(WARNING) << "An attempt to open url " << url << " generated an exception "
                 << static_cast<unsigned long>(exception.code);
    return;
  }
  // A returned request handle is left to the session: the callback may
  // already have closed it, and closing the session closes what is left.
  if (!call.request && call.error != ERROR_INTERNET_OPERATION_CANCELLED)
    ELOG(WARNING, call.error) << "Failed to open " << url;
}

}  // namespace stats
