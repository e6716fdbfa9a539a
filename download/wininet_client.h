#ifndef DOWNLOAD_WININET_CLIENT_H_
#define DOWNLOAD_WININET_CLIENT_H_

#include <windows.h>

#include <memory>
#include <string>

#include "download/http_client.h"

namespace download {

class WinInetCaller;

// HttpClient over WinINet: one InternetOpenW session and one request per URL.
// The calls that wait on the network run on a thread of the client's own,
// which the calling thread stops waiting for at a stop. Sending a request is
// also given up after 120 s in all, since nothing else bounds resolving a
// name; reads are left to WinINet's 60 s receive timeout.
class WinInetClient : public HttpClient {
 public:
  WinInetClient();
  ~WinInetClient() override;

  bool OpenSession(HANDLE stop_event) override;
  std::unique_ptr<HttpResponse> OpenUrl(const std::wstring& url,
                                        const std::wstring& extra_headers,
                                        OpenUrlDetails* details) override;

 private:
  std::shared_ptr<WinInetCaller> caller_;
};

}  // namespace download

#endif  // DOWNLOAD_WININET_CLIENT_H_
