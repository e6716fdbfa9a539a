#ifndef DOWNLOAD_TRUST_LIST_H_
#define DOWNLOAD_TRUST_LIST_H_

#include <set>
#include <string>
#include <string_view>

namespace download {

// Identifiers of the certificate pairs the maker trusts: the issuer's serial
// number followed by the leaf's, both big-endian, as raw bytes. std::string
// orders them by unsigned bytes, a shorter prefix first.
using TrustedCertificates = std::set<std::string>;

// Decodes standard base64 with padding into *bytes. Answers false (*bytes
// may then hold part of the output) for empty text, characters outside the alphabet
// (whitespace included), a length that is not a multiple of four or
// misplaced padding.
bool DecodeBase64(std::string_view text, std::string* bytes);

// Reads the trust list (resource "TRUSTED.JSON") out of the image at the
// absolute `path` and answers it only when its RSA signature (resource
// "SIGNATURE.DAT": a little-endian 16-bit key number, then the signature)
// verifies against the embedded trust key that the number selects. Answers
// an empty string, after logging why, otherwise.
std::string GetTrustJsonFromModule(const std::wstring& path);

// Fills *certificates from the trust list's trusted_info.certificates[].id
// values (base64), skipping elements that are not usable. Answers false,
// leaving the set empty, when the text is not JSON of that shape.
bool LoadTrustedCertificates(std::string_view json, TrustedCertificates* certificates);

}  // namespace download

#endif  // DOWNLOAD_TRUST_LIST_H_
