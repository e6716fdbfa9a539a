#ifndef DOWNLOAD_MODULE_VERIFIER_H_
#define DOWNLOAD_MODULE_VERIFIER_H_

#include <windows.h>

#include <memory>
#include <string>

#include "download/trust_list.h"

namespace download {

// What the system said about one Authenticode signature of a file.
struct SignatureCheck {
  // WinVerifyTrust's answer: 0 when the signature is valid; -1 when the call
  // raised a structured exception, whose code is then in `exception_code`.
  LONG result = 0;
  DWORD exception_code = 0;
  // Whether the valid signature has one signer whose chain holds a leaf and
  // an issuer; the two fields below are meaningful only then.
  bool has_chain = false;
  // Issuer serial then leaf serial, both big-endian (see TrustedCertificates).
  std::string identifier;
  // The leaf certificate is signed with sha256RSA.
  bool sha256 = false;
};

// Verifies the Authenticode signatures of a file one at a time. The real one
// calls WinVerifyTrust; tests script the answers.
class AuthenticodeChecker {
 public:
  virtual ~AuthenticodeChecker() = default;

  // Verifies signature `index` (0 is the primary one) of `path`. Sets
  // *secondary_count to the number of secondary signatures when the system
  // reports it and leaves it alone otherwise.
  virtual SignatureCheck Check(const std::wstring& path, DWORD index, DWORD* secondary_count) = 0;
  // Releases what the last Check kept open. Check may be called again after.
  virtual void Close() = 0;
};

// The checker that asks WinVerifyTrust (revocation checked along the whole
// chain, no UI). One file at a time; not thread-safe.
std::unique_ptr<AuthenticodeChecker> CreateSystemAuthenticodeChecker();

// At most this many signatures of one file are examined: the count comes
// from the unverified file, and each check hashes the whole file again.
inline constexpr DWORD kMaxSignaturesChecked = 16;

// Answers whether the file at `path` carries a valid Authenticode signature
// by a certificate pair listed in `certificates`. Once a valid SHA-256
// signature by an unlisted pair has been seen, only a listed SHA-256
// signature makes the file acceptable. An empty list refuses at once.
// `checker` defaults to WinVerifyTrust; ownership is not transferred.
bool VerifyModule(const std::wstring& path, const TrustedCertificates& certificates,
                  AuthenticodeChecker* checker = nullptr);

}  // namespace download

#endif  // DOWNLOAD_MODULE_VERIFIER_H_
