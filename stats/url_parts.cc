#include "stats/url_parts.h"

#include <windows.h>
#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <vector>

#include "base/string_conv.h"

namespace stats {

namespace {

// The buffer size of the statistics code for URLs and host names.
constexpr DWORD kUrlBufferChars = 2084;

bool IsByteUnit(wchar_t c) {
  return c <= 0xFF;
}

// Letters, digits, "." and "_": what every URL escape leaves alone. Nearly
// all statistics keys and values are made of these alone.
bool IsPlainUnit(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
         c == L'.' || c == L'_';
}

// UrlEscapeW over a text of units up to U+00FF.
// An escape at most triples a text, so a short one needs less than the
// whole buffer; on the heap, as frames stay under a page.
bool EscapeByteUnits(const std::wstring& text, std::wstring* out) {
  DWORD size = static_cast<DWORD>(std::min<size_t>(text.size() * 3 + 1, kUrlBufferChars));
  std::wstring buffer(size, L'\0');
  if (FAILED(::UrlEscapeW(text.c_str(), buffer.data(), &size, URL_ESCAPE_SEGMENT_ONLY)) ||
      size == 0)
    return false;
  out->append(buffer.data(), size);
  return true;
}

// Percent-escapes the UTF-8 form of `text`; an unpaired surrogate becomes
// U+FFFD, as the conversion replaces it.
void EscapeAsUtf8(std::wstring_view text, std::wstring* out) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  for (unsigned char byte : base::WideToUtf8(text)) {
    out->push_back(L'%');
    out->push_back(kHex[byte >> 4]);
    out->push_back(kHex[byte & 0xF]);
  }
}

}  // namespace

std::wstring EscapeUrlSegment(const std::wstring& text) {
  if (text.empty())
    return {};
  // The escape would give the text back unchanged; a statistics event
  // escapes some thirty texts, so the call is kept for those that need it.
  if (std::all_of(text.begin(), text.end(), IsPlainUnit))
    return text.size() < kUrlBufferChars ? text : std::wstring();
  // UrlEscapeW leaves units above U+00FF as they are, and the request keeps
  // only the low 8 bits of each unit: U+042F would become a bare "/". Such
  // runs go out as escaped UTF-8 instead; every other run is escaped exactly
  // as before, so texts without them give the same bytes.
  std::wstring escaped;
  size_t start = 0;
  while (start < text.size()) {
    const bool bytes = IsByteUnit(text[start]);
    size_t end = start;
    while (end < text.size() && IsByteUnit(text[end]) == bytes)
      ++end;
    if (bytes) {
      if (!EscapeByteUnits(text.substr(start, end - start), &escaped))
        return {};
    } else {
      EscapeAsUtf8(std::wstring_view(text).substr(start, end - start), &escaped);
    }
    start = end;
  }
  // The same limit as a single escape into the buffer.
  if (escaped.size() >= kUrlBufferChars)
    return {};
  return escaped;
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
