#include "base/md5.h"

#include <windows.h>
#include <wincrypt.h>

#include "base/scoped_handle.h"

namespace base {

std::optional<Md5Digest> Md5(std::string_view data) {
  // Declared first, so that the hash is destroyed before its provider.
  ScopedCryptProvider provider;
  if (!::CryptAcquireContextW(provider.Receive(), nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT))
    return std::nullopt;
  ScopedCryptHash hash;
  if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.Receive()))
    return std::nullopt;
  // CryptHashData takes a 32-bit length.
  constexpr size_t kMaxChunk = 1u << 30;
  do {
    size_t chunk = data.size() < kMaxChunk ? data.size() : kMaxChunk;
    if (!::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(chunk), 0))
      return std::nullopt;
    data.remove_prefix(chunk);
  } while (!data.empty());
  Md5Digest digest;
  DWORD size = static_cast<DWORD>(digest.size());
  if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &size, 0) ||
      size != digest.size())
    return std::nullopt;
  return digest;
}

std::string Md5HexUpper(std::string_view data) {
  static const char kHex[] = "0123456789ABCDEF";
  std::optional<Md5Digest> digest = Md5(data);
  std::string out;
  if (!digest)
    return out;
  for (uint8_t byte : *digest) {
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
  }
  return out;
}

}  // namespace base
