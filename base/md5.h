#ifndef BASE_MD5_H_
#define BASE_MD5_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

using Md5Digest = std::array<uint8_t, 16>;

Md5Digest Md5(std::string_view data);

// The digest as 32 upper-case hexadecimal digits.
std::string Md5HexUpper(std::string_view data);

}  // namespace base

#endif  // BASE_MD5_H_
