#ifndef DOWNLOAD_SIGNATURE_VERIFIER_H_
#define DOWNLOAD_SIGNATURE_VERIFIER_H_

#include <windows.h>

#include <wincrypt.h>

#include <string_view>

namespace download {

// Checks an RSA PKCS #1 v1.5 signature with SHA-1 over CryptoAPI. Byte
// arguments are raw bytes in std::string_view. Every operation answers false
// on failure after logging the failing call under its own name; none throws.
// The handles belong to the object: Cleanup (also run by the destructor)
// releases them, and the object may be reused after it. Not thread-safe; use
// one object per verification.
class SignatureVerifier {
 public:
  SignatureVerifier() = default;
  ~SignatureVerifier();
  SignatureVerifier(const SignatureVerifier&) = delete;
  SignatureVerifier& operator=(const SignatureVerifier&) = delete;

  // Initialize, HashData(data), ImportPublicKey(public_key_der) and
  // VerifySignature(signature), stopping at the first failure. True only
  // when the signature matches. `signature` is most significant byte first,
  // as RSA tools write it; `public_key_der` is a DER SubjectPublicKeyInfo.
  bool Verify(std::string_view signature, std::string_view public_key_der, std::string_view data);

  // Releases any previous handles and acquires a verify-only RSA context.
  bool Initialize();
  // Starts a SHA-1 hash (replacing a previous one) and hashes `data`.
  bool HashData(std::string_view data);
  // Decodes a DER SubjectPublicKeyInfo and imports it, replacing a previous key.
  bool ImportPublicKey(std::string_view der);
  // Checks `signature` (most significant byte first) against the hash and
  // the key. An empty signature fails without calling the system.
  bool VerifySignature(std::string_view signature);
  // Destroys the key, then the hash, then releases the context, logging each
  // failure. Safe to call repeatedly.
  void Cleanup();

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
  HCRYPTKEY key_ = 0;
};

}  // namespace download

#endif  // DOWNLOAD_SIGNATURE_VERIFIER_H_
