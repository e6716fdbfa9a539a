#ifndef DOWNLOAD_WININET_CLIENT_H_
#define DOWNLOAD_WININET_CLIENT_H_

#include <memory>
#include <string>

#include "base/scoped_internet_handle.h"
#include "download/http_client.h"

namespace download {

// HttpClient over WinINet: one InternetOpenW session, InternetOpenUrlW per URL.
class WinInetClient : public HttpClient {
 public:
  WinInetClient();
  ~WinInetClient() override;

  bool OpenSession() override;
  std::unique_ptr<HttpResponse> OpenUrl(const std::wstring& url,
                                        const std::wstring& extra_headers,
                                        std::wstring* redirect_url) override;

 private:
  base::ScopedInternetHandle session_;
};

}  // namespace download

#endif  // DOWNLOAD_WININET_CLIENT_H_
