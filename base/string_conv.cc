#include "base/string_conv.h"

#include <windows.h>

namespace base {

std::wstring WidenBytes(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text)
    out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

std::string NarrowLow8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text)
    out.push_back(static_cast<char>(c & 0xFF));
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty())
    return {};
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return {};
  std::string out(size, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                        size, nullptr, nullptr);
  return out;
}

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty())
    return {};
  int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0);
  if (size <= 0)
    return {};
  std::wstring out(size, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                        size);
  return out;
}

std::wstring TrimWhitespace(std::wstring_view text) {
  constexpr std::wstring_view kBlanks = L" \t\r\n";
  size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::wstring_view::npos)
    return {};
  size_t end = text.find_last_not_of(kBlanks);
  return std::wstring(text.substr(begin, end - begin + 1));
}

bool ParseUnsignedDecimal(std::wstring_view text, uint64_t* value) {
  uint64_t result = 0;
  size_t i = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    uint64_t digit = text[i] - L'0';
    if (result > (UINT64_MAX - digit) / 10)
      overflow = true;
    result = result * 10 + digit;
  }
  *value = result;
  return !text.empty() && i == text.size() && !overflow;
}

std::string HexString(uint64_t value) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value);
  std::string out;
  while (n)
    out.push_back(digits[--n]);
  return out;
}

std::string PercentEncodeBytes(std::string_view text, bool (*must_encode)(unsigned char)) {
  std::string encoded;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (must_encode(byte))
      encoded += "%" + HexPadded(byte, 2, true);
    else
      encoded += c;
  }
  return encoded;
}

std::string HexPadded(uint64_t value, int width, bool upper_case) {
  std::string digits = HexString(value);
  if (upper_case) {
    for (char& c : digits) {
      if (c >= 'a' && c <= 'f')
        c = static_cast<char>(c - 'a' + 'A');
    }
  }
  if (static_cast<int>(digits.size()) < width)
    digits.insert(0, width - digits.size(), '0');
  return digits;
}

void AppendZeroPadded(uint64_t value, int width, std::string* out) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width)
    out->append(width - digits.size(), '0');
  out->append(digits);
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace base
