#ifndef BASE_STRING_CONV_H_
#define BASE_STRING_CONV_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// Widens byte by byte: each 8-bit unit becomes one UTF-16 unit of the same value.
std::wstring WidenBytes(std::string_view text);

// Keeps the low 8 bits of each UTF-16 unit.
std::string NarrowLow8(std::wstring_view text);

// UTF-8 <-> UTF-16, for log text and JSON. Invalid input is replaced, never rejected.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

// Trims blanks, tabs, carriage returns and line feeds at both ends.
std::wstring TrimWhitespace(std::wstring_view text);

// Parses a non-negative decimal number from the leading digits of `text`.
// Answers false when `text` is empty, holds anything but digits, or overflows;
// `value` then holds what the leading digits gave (0 when there are none).
bool ParseUnsignedDecimal(std::wstring_view text, uint64_t* value);

std::string ToLowerAscii(std::string_view text);

// The decimal digits of an integer, with a minus sign when it is negative:
// what std::to_wstring gives, without the C runtime's printf (which brings its
// floating-point formatting into the executable).
template <typename Integer>
std::wstring NumberToWString(Integer value) {
  return WidenBytes(std::to_string(value));
}

// `value` in lower-case hexadecimal digits, without a prefix or leading zeros.
std::string HexString(uint64_t value);
// `value` in hexadecimal digits, with leading zeros up to `width`.
std::string HexPadded(uint64_t value, int width, bool upper_case = false);

// `text` with each byte for which `must_encode` answers true written as "%"
// and two upper-case hexadecimal digits; every other byte stays as it is.
std::string PercentEncodeBytes(std::string_view text, bool (*must_encode)(unsigned char));

// Appends the decimal digits of `value`, with leading zeros up to `width`.
void AppendZeroPadded(uint64_t value, int width, std::string* out);

}  // namespace base

#endif  // BASE_STRING_CONV_H_
