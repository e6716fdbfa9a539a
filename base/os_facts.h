#ifndef BASE_OS_FACTS_H_
#define BASE_OS_FACTS_H_

#include <windows.h>

#include <cstdint>

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
};

// The real facts: RtlGetVersion, the "UBR" registry value,
// IsProcessorFeaturePresent, GetNativeSystemInfo and kernel32's exports.
class SystemOsFacts : public OsFacts {
 public:
  OsVersion Version() override;
  bool HasSse2() override;
  Architecture NativeArchitecture() override;
  bool HasSafeDllSearch() override;
};

// The process-wide source of facts. In builds with test hooks, environment
// variables may override single facts (TX_TEST_OS_VERSION=6.1.7601,
// TX_TEST_NO_SSE2=1, TX_TEST_NO_SAFE_DLL_SEARCH=1, TX_TEST_ARCH=x86|x64|arm64).
OsFacts* GetOsFacts();

}  // namespace base

#endif  // BASE_OS_FACTS_H_
