#ifndef DIAGNOSTICS_WINHTTP_TRANSPORT_H_
#define DIAGNOSTICS_WINHTTP_TRANSPORT_H_

#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/http_body_stream.h"

namespace diagnostics {

// One synchronous HTTP request through WinHTTP, as the crash reporter sends it.
struct HttpRequest {
  std::string method = "POST";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  HttpBodyStream* body = nullptr;  // May be null. Not owned.
  // The limit for the whole exchange, from the first call to the last byte
  // of the answer, not per call: a crashed process must not hang longer.
  DWORD timeout_ms = 60000;
};

// Sends `request`; true when the server answered 200, with the answer's body
// in `*response`. Every failure is logged. Without a Content-Length header
// the body goes out chunked. May be called from any thread.
bool SendHttpRequest(const HttpRequest& request, std::string* response);

// "Crashpad/0.8.0 WinHTTP/a.b.c.d Windows_NT/a.b.c.d (x86[; WoW64])".
std::string CrashpadUserAgent();

// One chunk of a chunked body: 8 lower-case hexadecimal digits of its size,
// CRLF, the data, CRLF.
std::string ChunkFrame(const char* data, size_t size);

}  // namespace diagnostics

#endif  // DIAGNOSTICS_WINHTTP_TRANSPORT_H_
