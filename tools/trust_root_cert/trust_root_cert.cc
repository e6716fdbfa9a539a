// trust_root_cert <certificate file>
//
// Adds one certificate, PEM or DER, to the LocalMachine "Root" store. The test
// build runs it inside its private Wine prefix so that the loopback test
// server's certificate chain is trusted there. Exit code 0 on success, 1 on
// failure (with a message naming the failing call and its error), 2 on misuse.

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/scoped_handle.h"

namespace {

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::CertCloseStore(h, 0); }
};
using ScopedCertStore = base::ScopedGeneric<CertStoreTraits>;

struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::CertFreeCertificateContext(h); }
};
using ScopedCertContext = base::ScopedGeneric<CertContextTraits>;

void PrintApiError(const wchar_t* api, DWORD error) {
  fwprintf(stderr, L"trust_root_cert: %ls failed, error %lu\n", api, error);
}

bool ReadWholeFile(const wchar_t* path, std::string* contents) {
  base::ScopedHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid()) {
    PrintApiError(L"CreateFileW", ::GetLastError());
    return false;
  }
  contents->clear();
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) {
      PrintApiError(L"ReadFile", ::GetLastError());
      return false;
    }
    if (read == 0)
      return true;
    contents->append(buffer, read);
  }
}

// PEM text is decoded (the first certificate in it); anything else is taken as DER.
bool DecodeCertificateFile(const std::string& contents, std::vector<BYTE>* der) {
  if (contents.find("-----BEGIN") == std::string::npos) {
    der->assign(contents.begin(), contents.end());
    return !der->empty();
  }
  DWORD size = 0;
  if (!::CryptStringToBinaryA(contents.data(), static_cast<DWORD>(contents.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    PrintApiError(L"CryptStringToBinaryA", ::GetLastError());
    return false;
  }
  der->resize(size);
  if (!::CryptStringToBinaryA(contents.data(), static_cast<DWORD>(contents.size()),
                              CRYPT_STRING_BASE64HEADER, der->data(), &size, nullptr,
                              nullptr)) {
    PrintApiError(L"CryptStringToBinaryA", ::GetLastError());
    return false;
  }
  der->resize(size);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: trust_root_cert <certificate file (PEM or DER)>\n");
    return 2;
  }
  const wchar_t* path = argv[1];

  std::string contents;
  std::vector<BYTE> der;
  if (!ReadWholeFile(path, &contents) || !DecodeCertificateFile(contents, &der)) {
    fwprintf(stderr, L"trust_root_cert: cannot read a certificate from %ls\n", path);
    return 1;
  }

  ScopedCertStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                        CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  if (!store.is_valid()) {
    PrintApiError(L"CertOpenStore", ::GetLastError());
    return 1;
  }

  ScopedCertContext added;
  if (!::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, added.Receive())) {
    PrintApiError(L"CertAddEncodedCertificateToStore", ::GetLastError());
    return 1;
  }

  wchar_t subject[256] = L"";
  ::CertGetNameStringW(added.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject,
                       ARRAYSIZE(subject));
  wprintf(L"trust_root_cert: \"%ls\" added to LocalMachine\\Root\n", subject);
  return 0;
}
