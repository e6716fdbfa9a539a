// fetch_url <url> [<output file>]
//
// GETs one URL through WinINet, the same client stack the installer uses, and
// prints what came back, one "key=value" per line:
//   status=<HTTP status>
//   content_length=<Content-Length header, or "none">
//   bytes=<body bytes read>
// The body goes to <output file> when given. Exit code 0 when the whole body
// was read (whatever the status), 1 when a WinINet or file call failed (the
// failing call and its error on stderr, after the lines above that are known),
// 2 on misuse. End-to-end tests use it to check the test CA and server under Wine.

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "base/scoped_handle.h"
#include "base/scoped_internet_handle.h"

namespace {

void PrintApiError(const wchar_t* api, DWORD error) {
  fwprintf(stderr, L"fetch_url: %ls failed, error %lu\n", api, error);
}

bool QueryNumber(HINTERNET request, DWORD query, DWORD* value) {
  DWORD size = sizeof(*value);
  return ::HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    fwprintf(stderr, L"usage: fetch_url <url> [<output file>]\n");
    return 2;
  }
  const std::wstring url = argv[1];

  base::ScopedHandle output;
  if (argc == 3) {
    output.reset(::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output.is_valid()) {
      PrintApiError(L"CreateFileW", ::GetLastError());
      return 1;
    }
  }

  base::ScopedInternetHandle session(
      ::InternetOpenW(L"fetch_url", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session.is_valid()) {
    PrintApiError(L"InternetOpenW", ::GetLastError());
    return 1;
  }

  // Never answer from or fill the cache: every run must reach the server.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (url.rfind(L"https:", 0) == 0)
    flags |= INTERNET_FLAG_SECURE;
  base::ScopedInternetHandle request(::InternetOpenUrlW(
      session.get(), url.c_str(), L"Accept: */*", static_cast<DWORD>(-1), flags, 0));
  if (!request.is_valid()) {
    PrintApiError(L"InternetOpenUrlW", ::GetLastError());
    return 1;
  }

  DWORD status = 0;
  if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, &status)) {
    PrintApiError(L"HttpQueryInfoW", ::GetLastError());
    return 1;
  }
  wprintf(L"status=%lu\n", status);

  DWORD content_length = 0;
  if (QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, &content_length))
    wprintf(L"content_length=%lu\n", content_length);
  else
    wprintf(L"content_length=none\n");
  // A test that gives up on a hung body still sees what came before it.
  fflush(stdout);

  static char buffer[32768];
  unsigned long long total = 0;
  for (;;) {
    DWORD read = 0;
    if (!::InternetReadFile(request.get(), buffer, sizeof(buffer), &read)) {
      DWORD error = ::GetLastError();
      wprintf(L"bytes=%llu\n", total);
      fflush(stdout);
      PrintApiError(L"InternetReadFile", error);
      return 1;
    }
    if (read == 0)
      break;
    total += read;
    if (output.is_valid()) {
      DWORD written = 0;
      if (!::WriteFile(output.get(), buffer, read, &written, nullptr) || written != read) {
        DWORD error = ::GetLastError();
        wprintf(L"bytes=%llu\n", total);
        fflush(stdout);
        PrintApiError(L"WriteFile", error);
        return 1;
      }
    }
  }
  wprintf(L"bytes=%llu\n", total);
  return 0;
}
