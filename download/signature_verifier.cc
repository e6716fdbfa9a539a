#include "download/signature_verifier.h"

#include <limits>
#include <memory>
#include <vector>

#include "base/logging.h"

namespace download {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

bool FitsInDword(std::string_view bytes) {
  return bytes.size() <= std::numeric_limits<DWORD>::max();
}

const BYTE* AsBytes(std::string_view bytes) {
  return reinterpret_cast<const BYTE*>(bytes.data());
}

}  // namespace

SignatureVerifier::~SignatureVerifier() {
  Cleanup();
}

bool SignatureVerifier::Verify(std::string_view signature, std::string_view public_key_der,
                               std::string_view data) {
  return Initialize() && HashData(data) && ImportPublicKey(public_key_der) &&
         VerifySignature(signature);
}

bool SignatureVerifier::Initialize() {
  Cleanup();
  if (!::CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    const DWORD error = ::GetLastError();
    provider_ = 0;
    ELOG(ERROR, error) << "Failed to initialize crypt context, error: " << error;
    return false;
  }
  return true;
}

bool SignatureVerifier::HashData(std::string_view data) {
  if (hash_) {
    ::CryptDestroyHash(hash_);
    hash_ = 0;
  }
  if (!::CryptCreateHash(provider_, CALG_SHA1, 0, 0, &hash_)) {
    const DWORD error = ::GetLastError();
    hash_ = 0;
    ELOG(ERROR, error) << "Failed to initialize hash object, error: " << error;
    return false;
  }
  // A length cut to 32 bits would hash, and so vouch for, only a prefix.
  if (!FitsInDword(data) ||
      !::CryptHashData(hash_, AsBytes(data), static_cast<DWORD>(data.size()), 0)) {
    const DWORD error = FitsInDword(data) ? ::GetLastError() : ERROR_ARITHMETIC_OVERFLOW;
    ELOG(ERROR, error) << "Failed to hash data, error: " << error;
    return false;
  }
  return true;
}

bool SignatureVerifier::ImportPublicKey(std::string_view der) {
  if (key_) {
    ::CryptDestroyKey(key_);
    key_ = 0;
  }
  CERT_PUBLIC_KEY_INFO* decoded = nullptr;
  DWORD decoded_size = 0;
  if (!FitsInDword(der) ||
      !::CryptDecodeObjectEx(kEncoding, X509_PUBLIC_KEY_INFO, AsBytes(der),
                             static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &decoded, &decoded_size)) {
    const DWORD error = FitsInDword(der) ? ::GetLastError() : ERROR_ARITHMETIC_OVERFLOW;
    ELOG(ERROR, error) << "Failed to convert decode public key, error: " << error;
    return false;
  }
  std::unique_ptr<CERT_PUBLIC_KEY_INFO, LocalFreeDeleter> info(decoded);
  if (!::CryptImportPublicKeyInfo(provider_, kEncoding, info.get(), &key_)) {
    const DWORD error = ::GetLastError();
    key_ = 0;
    ELOG(ERROR, error) << "Failed to import crypt key, error: " << error;
    return false;
  }
  return true;
}

bool SignatureVerifier::VerifySignature(std::string_view signature) {
  if (signature.empty() || !FitsInDword(signature))
    return false;
  // CryptoAPI takes the signature least significant byte first.
  std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
  if (!::CryptVerifySignatureW(hash_, reversed.data(), static_cast<DWORD>(reversed.size()), key_,
                               nullptr, 0)) {
    const DWORD error = ::GetLastError();
    ELOG(ERROR, error) << "Failed to verify signature, error: " << error;
    return false;
  }
  return true;
}

void SignatureVerifier::Cleanup() {
  if (key_) {
    if (!::CryptDestroyKey(key_)) {
      const DWORD error = ::GetLastError();
      ELOG(ERROR, error) << "Failed to destroy crypt key, error: " << error;
    }
    key_ = 0;
  }
  if (hash_) {
    if (!::CryptDestroyHash(hash_)) {
      const DWORD error = ::GetLastError();
      ELOG(ERROR, error) << "Failed to destroy, error: " << error;
    }
    hash_ = 0;
  }
  if (provider_) {
    if (!::CryptReleaseContext(provider_, 0)) {
      const DWORD error = ::GetLastError();
      ELOG(ERROR, error) << "Failed to release crypt context, error: " << error;
    }
    provider_ = 0;
  }
}

}  // namespace download
