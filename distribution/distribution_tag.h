#ifndef DISTRIBUTION_DISTRIBUTION_TAG_H_
#define DISTRIBUTION_DISTRIBUTION_TAG_H_

#include <string>
#include <string_view>

namespace distribution {

// The distribution-parameter string stamped into a signed executable's
// certificate table, bytes exactly as stored; empty when there is none.
using DistributionTag = std::string;

// Opens `path`, obtains its length and reads it whole into *bytes. On failure
// logs why (with the system error) and answers false.
bool ReadAllBytesFromFile(const std::wstring& path, std::string* bytes);

// Reads the file at `path` (normally the installer's own image) and answers
// the tags of all dummy certificates in its Authenticode certificate set,
// concatenated in set order. Answers empty, after logging a warning, when the
// file cannot be read or its certificate table is malformed; a certificate
// set without a tagged dummy certificate answers empty without a log line.
DistributionTag ExtractTagFromFakeCertificate(const std::wstring& path);

// The older placement: the tag block written after the signature blob inside
// the certificate table. Answers empty on any failure; logs nothing.
DistributionTag ExtractTagFromSignatureTrailer(const std::wstring& path);

// The parsers behind the two readers, over an image already in memory.
enum class CertificateTagStatus {
  kOk,
  kNoCertificateTable,  // The PE headers or the table's bounds are wrong.
  kInvalidAsn1,         // The signature's DER does not have the expected shape.
};
// *tag is left empty unless the status is kOk.
CertificateTagStatus ParseFakeCertificateTag(std::string_view image, DistributionTag* tag);
DistributionTag ParseSignatureTrailerTag(std::string_view image);

}  // namespace distribution

#endif  // DISTRIBUTION_DISTRIBUTION_TAG_H_
