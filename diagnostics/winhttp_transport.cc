#include "diagnostics/winhttp_transport.h"

#include <winhttp.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/system_library.h"
#include "base/logging.h"

namespace diagnostics {
namespace {

constexpr size_t kMaxChunk = 32768;

// "<call>: <system message> (0x<code>)", with WinHTTP's own message table
// consulted for its error codes.
void LogWinHttpError(const char* call, DWORD error) {
  wchar_t* text = nullptr;
  HMODULE winhttp = ::GetModuleHandleW(L"winhttp.dll");
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS | (winhttp ? FORMAT_MESSAGE_FROM_HMODULE : 0);
  DWORD length = ::FormatMessageW(flags, winhttp, error, 0, reinterpret_cast<wchar_t*>(&text),
                                  0, nullptr);
  if (length == 0) {
    LOG_AS("SendHttpRequest", ERROR) << call << ": error 0x" << base::HexString(::GetLastError())
                                     << " while retrieving error 0x" << base::HexString(error);
    return;
  }
  std::wstring message(text, length);
  ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ')) {
    message.pop_back();
  }
  LOG_AS("SendHttpRequest", ERROR) << call << ": " << message << " (0x" << base::HexString(error)
                                   << ")";
}

void LogLastWinHttpError(const char* call) { LogWinHttpError(call, ::GetLastError()); }

struct WinHttpHandleTraits {
  using Handle = HINTERNET;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) {
    if (!::WinHttpCloseHandle(h))
      LogLastWinHttpError("WinHttpCloseHandle");
  }
};
using ScopedWinHttpHandle = base::ScopedGeneric<WinHttpHandleTraits>;

bool FileVersion(const wchar_t* dll, unsigned long parts[4]) {
  std::wstring path = base::SystemLibraryPath(dll);
  DWORD handle = 0;
  DWORD size = path.empty() ? 0 : ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  std::string data(size, '\0');
  if (size == 0 || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
    const DWORD error = ::GetLastError();
    LOG_AS("CrashpadUserAgent", ERROR) << "GetFileVersionInfo: " << base::SystemErrorText(error);
    return false;
  }
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      length < sizeof(*info)) {
    PLOG_AS("CrashpadUserAgent", ERROR) << "VerQueryValue";
    return false;
  }
  parts[0] = HIWORD(info->dwFileVersionMS);
  parts[1] = LOWORD(info->dwFileVersionMS);
  parts[2] = HIWORD(info->dwFileVersionLS);
  parts[3] = LOWORD(info->dwFileVersionLS);
  return true;
}

// `prefix` + "a.b.c.d", the file version of `dll`.
std::string VersionText(const char* prefix, const wchar_t* dll) {
  unsigned long parts[4] = {0, 0, 0, 0};
  FileVersion(dll, parts);
  std::string text = prefix;
  for (int i = 0; i < 4; ++i) {
    if (i)
      text += '.';
    text += std::to_string(parts[i]);
  }
  return text;
}

// Gives every blocking call only what is left of the request's time limit.
class Deadline {
 public:
  explicit Deadline(DWORD limit_ms) : end_(::GetTickCount64() + limit_ms) {}

  // False, with the time-out logged for `call`, when nothing is left.
  bool Arm(HINTERNET handle, const char* call) const {
    ULONGLONG now = ::GetTickCount64();
    if (now >= end_) {
      LogWinHttpError(call, ERROR_WINHTTP_TIMEOUT);
      return false;
    }
    int left = static_cast<int>(std::min<ULONGLONG>(end_ - now, 0x7fffffff));
    if (!::WinHttpSetTimeouts(handle, left, left, left, left)) {
      LogLastWinHttpError("WinHttpSetTimeouts");
      return false;
    }
    // The wait for the status line has a limit of its own (90 s by default).
    DWORD response_wait = static_cast<DWORD>(left);
    if (!::WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_wait,
                            sizeof(response_wait))) {
      LogLastWinHttpError("WinHttpSetOption");
      return false;
    }
    return true;
  }

 private:
  ULONGLONG end_;
};

bool WriteBody(HINTERNET request, HttpBodyStream* body, bool chunked, const Deadline& deadline) {
  std::string data(kMaxChunk, '\0');
  for (;;) {
    size_t count = 0;
    if (body && !body->Read(reinterpret_cast<uint8_t*>(data.data()), kMaxChunk, &count))
      return false;
    if (count == 0 && !chunked)
      return true;
    std::string frame = chunked ? ChunkFrame(data.data(), count) : data.substr(0, count);
    DWORD written = 0;
    if (!deadline.Arm(request, "WinHttpWriteData"))
      return false;
    if (!::WinHttpWriteData(request, frame.data(), static_cast<DWORD>(frame.size()), &written)) {
      LogLastWinHttpError("WinHttpWriteData");
      return false;
    }
    if (count == 0)
      return true;  // The zero-size chunk ends a chunked body.
  }
}

// Wine's WinHTTP (8.0) sends nothing that is written after a request of
// unknown total length, so there the framed body is measured first; Windows
// takes the chunks as they come.
bool TotalLengthRequired() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// The whole body framed as chunks, in memory.
bool FrameWholeBody(HttpBodyStream* body, std::string* framed) {
  std::string data(kMaxChunk, '\0');
  for (;;) {
    size_t count = 0;
    if (body && !body->Read(reinterpret_cast<uint8_t*>(data.data()), kMaxChunk, &count))
      return false;
    framed->append(ChunkFrame(data.data(), count));
    if (count == 0)
      return true;
  }
}

}  // namespace

std::string ChunkFrame(const char* data, size_t size) {
  std::string frame = base::HexPadded(size, 8) + "\r\n";
  frame.append(data, size);
  frame += "\r\n";
  return frame;
}

std::string CrashpadUserAgent() {
  std::string agent = "Crashpad/0.8.0";
  agent += VersionText(" WinHTTP/", L"winhttp.dll");
  agent += VersionText(" Windows_NT/", L"kernel32.dll") + " (";
#if defined(__x86_64__)
  agent += "x64";
#else
  agent += "x86";
  BOOL wow64 = FALSE;
  if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64)
    agent += "; WoW64";
#endif
  agent += ")";
  return agent;
}

bool SendHttpRequest(const HttpRequest& request, std::string* response) {
  const Deadline deadline(request.timeout_ms);
  const int timeout = static_cast<int>(std::min<DWORD>(request.timeout_ms, 0x7fffffff));
  ScopedWinHttpHandle session(::WinHttpOpen(base::WidenBytes(CrashpadUserAgent()).c_str(),
                                            WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.is_valid()) {
    LogLastWinHttpError("WinHttpOpen");
    return false;
  }
  if (!::WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout)) {
    LogLastWinHttpError("WinHttpSetTimeouts");
    return false;
  }

  std::wstring url = base::WidenBytes(request.url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
      parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
    LogLastWinHttpError("WinHttpCrackUrl");
    return false;
  }
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

  ScopedWinHttpHandle connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection.is_valid()) {
    LogLastWinHttpError("WinHttpConnect");
    return false;
  }
  ScopedWinHttpHandle http(::WinHttpOpenRequest(
      connection.get(), base::WidenBytes(request.method).c_str(), path.c_str(), nullptr,
      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
      parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!http.is_valid()) {
    LogLastWinHttpError("WinHttpOpenRequest");
    return false;
  }

  bool has_length = false;
  for (const auto& [name, value] : request.headers) {
    has_length |= base::ToLowerAscii(name) == "content-length";
    std::wstring line = base::WidenBytes(name + ": " + value + "\r\n");
    if (!::WinHttpAddRequestHeaders(http.get(), line.c_str(), static_cast<DWORD>(line.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD)) {
      LogLastWinHttpError("WinHttpAddRequestHeaders");
      return false;
    }
  }
  const bool chunked = !has_length;
  if (chunked) {
    static constexpr wchar_t kChunked[] = L"Transfer-Encoding: chunked\r\n";
    if (!::WinHttpAddRequestHeaders(http.get(), kChunked, ARRAYSIZE(kChunked) - 1,
                                    WINHTTP_ADDREQ_FLAG_ADD)) {
      LogLastWinHttpError("WinHttpAddRequestHeaders");
      return false;
    }
  }

  HttpBodyStream* body = request.body;
  bool frame_chunks = chunked;
  DWORD total_length = WINHTTP_IGNORE_REQUEST_TOTAL_LENGTH;
  std::unique_ptr<HttpBodyStream> framed;
  if (chunked && TotalLengthRequired()) {
    std::string data;
    if (!FrameWholeBody(body, &data))
      return false;
    total_length = static_cast<DWORD>(data.size());
    framed = std::make_unique<StringBodyStream>(std::move(data));
    body = framed.get();
    frame_chunks = false;
  }

  if (!deadline.Arm(http.get(), "WinHttpSendRequest"))
    return false;
  if (!::WinHttpSendRequest(http.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                            0, total_length, 0)) {
    LogLastWinHttpError("WinHttpSendRequest");
    return false;
  }
  if (!WriteBody(http.get(), body, frame_chunks, deadline))
    return false;

  if (!deadline.Arm(http.get(), "WinHttpReceiveResponse"))
    return false;
  if (!::WinHttpReceiveResponse(http.get(), nullptr)) {
    LogLastWinHttpError("WinHttpReceiveResponse");
    return false;
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::WinHttpQueryHeaders(http.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    LogLastWinHttpError("WinHttpQueryHeaders");
    return false;
  }
  if (status != 200) {
    LOG_AS("SendHttpRequest", ERROR) << "HTTP status " << static_cast<unsigned long>(status);
    return false;
  }
  std::vector<char> buffer(4096);
  for (;;) {
    DWORD read = 0;
    if (!deadline.Arm(http.get(), "WinHttpReadData"))
      return false;
    if (!::WinHttpReadData(http.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
      LogLastWinHttpError("WinHttpReadData");
      return false;
    }
    if (read == 0)
      return true;
    if (response)
      response->append(buffer.data(), read);
  }
}

}  // namespace diagnostics
