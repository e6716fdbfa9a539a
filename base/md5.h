#ifndef BASE_MD5_H_
#define BASE_MD5_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace base {

using Md5Digest = std::array<uint8_t, 16>;

// The MD5 digest of `data`, computed by the system's CryptoAPI provider.
// Answers nothing when the provider cannot be used.
std::optional<Md5Digest> Md5(std::string_view data);

// The digest as 32 upper-case hexadecimal digits; empty when Md5() fails.
std::string Md5HexUpper(std::string_view data);

}  // namespace base

#endif  // BASE_MD5_H_
