#include "base/os_facts.h"

#include <cwchar>
#include <string>

#include "base/scoped_handle.h"
#include "base/test_hooks.h"

namespace base {

namespace {

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);

uint32_t ReadUpdateRevision() {
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD value = 0;
  DWORD size = sizeof(value);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), L"UBR", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return 0;
  }
  return value;
}

#if defined(TX_TEST_HOOKS)
class TestOverrideOsFacts : public SystemOsFacts {
 public:
  OsVersion Version() override {
    OsVersion version = SystemOsFacts::Version();
    std::wstring text = TestHookValue(L"TX_TEST_OS_VERSION");
    if (!text.empty()) {
      version = OsVersion();
      std::swscanf(text.c_str(), L"%u.%u.%u.%u", &version.major, &version.minor, &version.build,
                   &version.update_revision);
    }
    return version;
  }
  bool HasSse2() override {
    return TestHookValue(L"TX_TEST_NO_SSE2").empty() && SystemOsFacts::HasSse2();
  }
  Architecture NativeArchitecture() override {
    std::wstring text = TestHookValue(L"TX_TEST_ARCH");
    if (text == L"x86")
      return Architecture::kX86;
    if (text == L"x64")
      return Architecture::kX64;
    if (text == L"arm64")
      return Architecture::kArm64;
    return SystemOsFacts::NativeArchitecture();
  }
  bool HasSafeDllSearch() override {
    return TestHookValue(L"TX_TEST_NO_SAFE_DLL_SEARCH").empty() &&
           SystemOsFacts::HasSafeDllSearch();
  }
  std::wstring UserRegion() override {
    std::wstring text = TestHookValue(L"TX_TEST_REGION");
    return text.empty() ? SystemOsFacts::UserRegion() : text;
  }
  bool ProcessIsElevated() override {
    return TestHookValue(L"TX_TEST_NOT_ADMIN").empty() && SystemOsFacts::ProcessIsElevated();
  }
  LANGID UserUiLanguage() override {
    std::wstring text = TestHookValue(L"TX_TEST_UI_LANGUAGE");
    if (text.empty())
      return SystemOsFacts::UserUiLanguage();
    return static_cast<LANGID>(std::wcstoul(text.c_str(), nullptr, 10));
  }
};
#endif

}  // namespace

OsVersion SystemOsFacts::Version() {
  OsVersion version;
  // GetVersionEx lies to unmanifested processes; ntdll does not.
  auto rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (rtl_get_version && rtl_get_version(&info) == 0) {
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
  }
  version.update_revision = ReadUpdateRevision();
  return version;
}

bool SystemOsFacts::HasSse2() {
  return ::IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
}

Architecture SystemOsFacts::NativeArchitecture() {
  // IsWow64Process2 knows ARM64 hosts; GetNativeSystemInfo reports x86 there.
  using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  auto is_wow64_process2 = reinterpret_cast<IsWow64Process2Function>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2"));
  USHORT process_machine = 0, native_machine = 0;
  if (is_wow64_process2 &&
      is_wow64_process2(::GetCurrentProcess(), &process_machine, &native_machine)) {
    switch (native_machine) {
      case IMAGE_FILE_MACHINE_I386: return Architecture::kX86;
      case IMAGE_FILE_MACHINE_AMD64: return Architecture::kX64;
      case 0xAA64: return Architecture::kArm64;
      default: return Architecture::kOther;
    }
  }
  SYSTEM_INFO info = {};
  ::GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return Architecture::kX86;
    case PROCESSOR_ARCHITECTURE_AMD64: return Architecture::kX64;
    case 12:  // PROCESSOR_ARCHITECTURE_ARM64
      return Architecture::kArm64;
    default: return Architecture::kOther;
  }
}

bool SystemOsFacts::ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  ScopedHandle owned(token);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated != 0;
}

bool SystemOsFacts::HasSafeDllSearch() {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return ::GetProcAddress(kernel32, "SetSearchPathMode") &&
         ::GetProcAddress(kernel32, "SetDefaultDllDirectories");
}

std::wstring SystemOsFacts::UserRegion() {
  GEOID nation = ::GetUserGeoID(GEOCLASS_NATION);
  if (nation == GEOID_NOT_AVAILABLE)
    return std::wstring();
  // Two letters and the terminator; anything else is not an ISO-2 code.
  wchar_t code[3] = {};
  if (::GetGeoInfoW(nation, GEO_ISO2, code, 3, 0) != 3)
    return std::wstring();
  return std::wstring(code, 2);
}

LANGID SystemOsFacts::UserUiLanguage() {
  return ::GetUserDefaultUILanguage();
}

OsFacts* GetOsFacts() {
#if defined(TX_TEST_HOOKS)
  static TestOverrideOsFacts facts;
#else
  static SystemOsFacts facts;
#endif
  return &facts;
}

}  // namespace base
