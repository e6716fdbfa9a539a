#include "download/module_verifier.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstddef>
#include <cstring>
#include <iterator>

#include "base/exception_guard.h"
#include "base/scoped_handle.h"
#include "base/logging.h"

namespace download {

namespace {

// The toolchain's wintrust.h predates nested-signature support (Windows 8):
// WINTRUST_DATA there ends before pSignatureSettings, so that member and its
// structure are declared here with the system's layout.
#ifndef WSS_VERIFY_SPECIFIC
#define WSS_VERIFY_SPECIFIC 0x00000001
#endif
#ifndef WSS_GET_SECONDARY_SIG_COUNT
#define WSS_GET_SECONDARY_SIG_COUNT 0x00000002
#endif

struct SignatureSettings {
  DWORD cbStruct;
  DWORD dwIndex;
  DWORD dwFlags;
  DWORD cSecondarySigs;
  DWORD dwVerifiedSigIndex;
  void* pCryptoPolicy;
};

struct TrustDataWithSettings {
  WINTRUST_DATA data;
  SignatureSettings* pSignatureSettings;
};

static_assert(offsetof(TrustDataWithSettings, pSignatureSettings) == (sizeof(void*) == 8 ? 80 : 48),
              "WINTRUST_DATA layout differs from the system's");
static_assert(sizeof(TrustDataWithSettings) == (sizeof(void*) == 8 ? 88 : 52),
              "WINTRUST_DATA layout differs from the system's");

constexpr char kSha256RsaOid[] = "1.2.840.113549.1.1.11";
// WinVerifyTrust's answer when the call raised an exception.
constexpr LONG kExceptionResult = -1;
// This installer never asks WinVerifyTrust to stay off the network.
constexpr bool kPreventsNetUsage = false;

struct TrustCall {
  GUID* action;
  TrustDataWithSettings* data;
  LONG result;
};

void InvokeWinVerifyTrust(void* context) {
  auto* call = static_cast<TrustCall*>(context);
  call->result =
      ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), call->action, call->data);
}

// CryptoAPI keeps serial numbers least significant byte first.
std::string BigEndianSerial(const CERT_INFO& info) {
  const auto* serial = reinterpret_cast<const char*>(info.SerialNumber.pbData);
  return std::string(std::make_reverse_iterator(serial + info.SerialNumber.cbData),
                     std::make_reverse_iterator(serial));
}

const CERT_INFO* CertInfoAt(CRYPT_PROVIDER_SGNR* signer, DWORD index) {
  CRYPT_PROVIDER_CERT* cert = ::WTHelperGetProvCertFromChain(signer, index);
  if (!cert || !cert->pCert)
    return nullptr;
  return cert->pCert->pCertInfo;
}

class WinVerifyTrustChecker : public AuthenticodeChecker {
 public:
  WinVerifyTrustChecker() {
    file_.cbStruct = sizeof(file_);
    settings_.cbStruct = sizeof(settings_);
    settings_.dwFlags = WSS_VERIFY_SPECIFIC | WSS_GET_SECONDARY_SIG_COUNT;
    trust_.data.cbStruct = sizeof(trust_);
    trust_.data.dwUIChoice = WTD_UI_NONE;
    trust_.data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    trust_.data.dwUnionChoice = WTD_CHOICE_FILE;
    trust_.data.pFile = &file_;
    trust_.data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN;
    trust_.data.dwUIContext = WTD_UICONTEXT_INSTALL;
    trust_.pSignatureSettings = &settings_;
  }
  ~WinVerifyTrustChecker() override { Close(); }
  WinVerifyTrustChecker(const WinVerifyTrustChecker&) = delete;
  WinVerifyTrustChecker& operator=(const WinVerifyTrustChecker&) = delete;

  SignatureCheck Check(const std::wstring& path, DWORD index, DWORD* secondary_count) override {
    Close();
    path_ = path;  // The state may refer to it until closed.
    file_.pcwszFilePath = path_.c_str();
    // With a handle of ours the system does not open the file itself: some
    // implementations keep their own handle past the close, and the archive
    // could then not be deleted.
    file_handle_.reset(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    file_.hFile = file_handle_.is_valid() ? file_handle_.get() : nullptr;
    settings_.dwIndex = index;
    SignatureCheck check;
    check.result = Call(WTD_STATEACTION_VERIFY, &check.exception_code);
    *secondary_count = settings_.cSecondarySigs;
    if (check.result == 0)
      ReadSigner(&check);
    return check;
  }

  void Close() override {
    if (trust_.data.hWVTStateData) {
      DWORD ignored = 0;
      Call(WTD_STATEACTION_CLOSE, &ignored);
      trust_.data.hWVTStateData = nullptr;
    }
    file_.hFile = nullptr;
    file_handle_.reset();
  }

 private:
  LONG Call(DWORD state_action, DWORD* exception_code) {
    trust_.data.dwStateAction = state_action;
    TrustCall call = {&action_, &trust_, 0};
    base::GuardedCallException exception;
    if (!base::CallWithExceptionGuard(&InvokeWinVerifyTrust, &call, &exception)) {
      *exception_code = exception.code;
      return kExceptionResult;
    }
    return call.result;
  }

  // Fills the identifier and the SHA-256 flag from the single signer's leaf
  // and issuer certificates, when the state holds exactly that.
  void ReadSigner(SignatureCheck* check) {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(trust_.data.hWVTStateData);
    if (!provider || provider->csSigners != 1)
      return;
    CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (!signer || signer->csCertChain < 2)
      return;
    const CERT_INFO* leaf = CertInfoAt(signer, 0);
    const CERT_INFO* issuer = CertInfoAt(signer, 1);
    if (!leaf || !issuer)
      return;
    check->has_chain = true;
    check->identifier = BigEndianSerial(*issuer) + BigEndianSerial(*leaf);
    const char* algorithm = leaf->SignatureAlgorithm.pszObjId;
    check->sha256 = algorithm && std::strcmp(algorithm, kSha256RsaOid) == 0;
  }

  GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  std::wstring path_;
  base::ScopedHandle file_handle_;
  WINTRUST_FILE_INFO file_ = {};
  SignatureSettings settings_ = {};
  TrustDataWithSettings trust_ = {};
};

}  // namespace

std::unique_ptr<AuthenticodeChecker> CreateSystemAuthenticodeChecker() {
  return std::make_unique<WinVerifyTrustChecker>();
}

bool VerifyModule(const std::wstring& path, const TrustedCertificates& certificates,
                  AuthenticodeChecker* checker) {
  if (certificates.empty())
    return false;
  std::unique_ptr<AuthenticodeChecker> system_checker;
  if (!checker) {
    system_checker = CreateSystemAuthenticodeChecker();
    checker = system_checker.get();
  }

  bool result = false;
  bool sha256_seen = false;
  DWORD secondary_count = 0;
  // Signature 0 is the primary one; the call reports how many secondary
  // (nested) signatures follow it.
  for (DWORD index = 0; index <= secondary_count && index < kMaxSignaturesChecked; ++index) {
    const SignatureCheck check = checker->Check(path, index, &secondary_count);
    if (check.result == kExceptionResult) {
      LOG(ERROR) << "An attempt to verify " << path << " generated an exception "
                 << check.exception_code
                 << ", is_prevents_net_usage = " << static_cast<int>(kPreventsNetUsage);
      continue;
    }
    if (check.result != 0 || !check.has_chain)
      continue;
    // Once a SHA-256 signature is on the file, weaker ones no longer count.
    if (sha256_seen && !check.sha256)
      continue;
    const bool trusted = certificates.count(check.identifier) != 0;
    if (check.sha256) {
      if (trusted) {
        checker->Close();
        return true;
      }
      sha256_seen = true;
      result = false;
    } else {
      result = result || trusted;
    }
  }
  checker->Close();
  return result;
}

}  // namespace download
