#include "stats/url_parts.h"

#include <windows.h>
#include <shlwapi.h>
#include <wininet.h>

#include <vector>

namespace stats {

namespace {

// The buffer size of the statistics code for URLs and host names.
constexpr DWORD kUrlBufferChars = 2084;

}  // namespace

std::wstring EscapeUrlSegment(const std::wstring& text) {
  if (text.empty())
    return {};
  std::vector<wchar_t> buffer(kUrlBufferChars, L'\0');
  DWORD size = kUrlBufferChars;
  if (FAILED(::UrlEscapeW(text.c_str(), buffer.data(), &size, URL_ESCAPE_SEGMENT_ONLY)))
    return {};
  return std::wstring(buffer.data(), size);
}

std::wstring UrlHost(const std::wstring& url) {
  if (url.empty())
    return {};
  std::vector<wchar_t> canonical(kUrlBufferChars, L'\0');
  DWORD size = kUrlBufferChars;
  if (!::InternetCanonicalizeUrlW(url.c_str(), canonical.data(), &size, ICU_BROWSER_MODE))
    return {};
  std::vector<wchar_t> host(kUrlBufferChars, L'\0');
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = kUrlBufferChars;
  if (!::InternetCrackUrlW(canonical.data(), 0, ICU_DECODE, &parts))
    return {};
  return std::wstring(host.data(), parts.dwHostNameLength);
}

}  // namespace stats
