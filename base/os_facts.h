#ifndef BASE_OS_FACTS_H_
#define BASE_OS_FACTS_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace base {

struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t update_revision = 0;  // "UBR"; 0 when unknown.
};

enum class Architecture { kX86, kX64, kArm64, kOther };

// Facts about the running system, injected so that tests can play Windows 7,
// 8.1 or a processor without SSE2. May be called from any thread.
class OsFacts {
 public:
  virtual ~OsFacts() = default;
  virtual OsVersion Version() = 0;
  virtual bool HasSse2() = 0;
  virtual Architecture NativeArchitecture() = 0;
  // Whether kernel32 offers SetSearchPathMode and SetDefaultDllDirectories.
  virtual bool HasSafeDllSearch() = 0;
  // The user's nation as a two-letter ISO code ("UA"), empty when unknown.
  // The defaults here keep fakes that do not care deterministic.
  virtual std::wstring UserRegion() { return std::wstring(); }
  // The user's Windows interface language.
  virtual LANGID UserUiLanguage() { return MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US); }
  // Whether this process runs with full administrator rights (or as SYSTEM).
  virtual bool ProcessIsElevated() { return false; }
};

// The real facts: RtlGetVersion, the "UBR" registry value,
// IsProcessorFeaturePresent, GetNativeSystemInfo, kernel32's exports, the
// user's geographic nation and interface language.
class SystemOsFacts : public OsFacts {
 public:
  OsVersion Version() override;
  bool HasSse2() override;
  Architecture NativeArchitecture() override;
  bool HasSafeDllSearch() override;
  std::wstring UserRegion() override;
  LANGID UserUiLanguage() override;
  bool ProcessIsElevated() override;
};

// The process-wide source of facts. In builds with test hooks, environment
// variables may override single facts (TX_TEST_OS_VERSION=6.1.7601,
// TX_TEST_NO_SSE2=1, TX_TEST_NO_SAFE_DLL_SEARCH=1, TX_TEST_ARCH=x86|x64|arm64,
// TX_TEST_REGION=UA, TX_TEST_UI_LANGUAGE=1049 as a decimal LANGID,
// TX_TEST_NOT_ADMIN=1 for a process without administrator rights).
OsFacts* GetOsFacts();

}  // namespace base

#endif  // BASE_OS_FACTS_H_
