// Times the verification of one setup archive, to see what the installer's
// checks cost on top of the system's signature check.
//
//   verify_bench <archive> <repetitions>
//
// Alternates, <repetitions> times, (a) Installer::VerifyArchive, the whole
// check the installer makes (trust list, then every signature through
// download::VerifyModule), and (b) one bare WinVerifyTrust call on the file
// with the revocation settings the installer uses. Each round also times the
// two stages of (a) on their own: reading the trust list out of the archive
// and download::VerifyModule. One untimed round warms the file cache first.
// Prints the median of each in milliseconds and whether everything accepted
// the file on every round; exits 1 otherwise.
#include <windows.h>

#include <softpub.h>
#include <wintrust.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/clock.h"
#include "download/module_verifier.h"
#include "download/trust_list.h"
#include "base/command_line.h"
#include "installer/installer.h"

namespace {

double NowMs() {
  return static_cast<double>(base::DefaultClock()->NowMicroseconds()) / 1000.0;
}

// One WinVerifyTrust verification of the primary signature, state closed
// again, as a program with no trust list of its own would make it.
LONG BareWinVerifyTrust(const std::wstring& path) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return result;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int repetitions = argc == 3 ? _wtoi(argv[2]) : 0;
  if (repetitions < 1) {
    std::fwprintf(stderr, L"usage: verify_bench <archive> <repetitions>\n");
    return 2;
  }
  // The trust list is read only from an absolute path.
  wchar_t full_path[MAX_PATH] = {};
  if (!::GetFullPathNameW(argv[1], MAX_PATH, full_path, nullptr)) {
    std::fwprintf(stderr, L"GetFullPathName failed: %lu\n", ::GetLastError());
    return 2;
  }
  const std::wstring path(full_path);

  base::CommandLine command_line(L"lite_installer.exe");
  installer::Installer verifier(nullptr, nullptr, nullptr, command_line,
                                installer::InstallerEnvironment());

  bool all_accepted = verifier.VerifyArchive(path);
  LONG bare_result = BareWinVerifyTrust(path);
  all_accepted = all_accepted && bare_result == 0;

  std::vector<double> full_ms, bare_ms, trust_list_ms, verify_module_ms;
  for (int i = 0; i < repetitions; ++i) {
    double start = NowMs();
    const bool accepted = verifier.VerifyArchive(path);
    full_ms.push_back(NowMs() - start);

    start = NowMs();
    const LONG result = BareWinVerifyTrust(path);
    bare_ms.push_back(NowMs() - start);

    // The same stages as VerifyArchive, in its order.
    start = NowMs();
    download::TrustedCertificates certificates;
    download::LoadTrustedCertificates(download::GetTrustJsonFromModule(path), &certificates);
    trust_list_ms.push_back(NowMs() - start);
    start = NowMs();
    const bool module_accepted = download::VerifyModule(path, certificates);
    verify_module_ms.push_back(NowMs() - start);

    all_accepted = all_accepted && accepted && result == 0 && module_accepted;
    if (result != 0)
      bare_result = result;
  }

  std::printf("repetitions=%d\n", repetitions);
  std::printf("verify_archive_ms=%.1f\n", Median(full_ms));
  std::printf("bare_winverifytrust_ms=%.1f\n", Median(bare_ms));
  std::printf("trust_list_ms=%.1f\n", Median(trust_list_ms));
  std::printf("verify_module_ms=%.1f\n", Median(verify_module_ms));
  std::printf("bare_winverifytrust_result=0x%08lx\n", static_cast<unsigned long>(bare_result));
  std::printf("accepted=%d\n", all_accepted ? 1 : 0);
  return all_accepted ? 0 : 1;
}
