#ifndef BASE_FAKE_OS_FACTS_FOR_TESTING_H_
#define BASE_FAKE_OS_FACTS_FOR_TESTING_H_

#include <windows.h>

#include <string>

#include "base/os_facts.h"

namespace base {

// A Windows 10 x64 machine with SSE2 and safe DLL search, in the US with an
// English interface; tests change the fields they care about.
class FakeOsFacts : public OsFacts {
 public:
  OsVersion Version() override { return version; }
  bool HasSse2() override { return true; }
  Architecture NativeArchitecture() override { return arch; }
  bool HasSafeDllSearch() override { return true; }
  std::wstring UserRegion() override { return region; }
  LANGID UserUiLanguage() override { return ui_language; }
  bool ProcessIsElevated() override { return elevated; }

  OsVersion version{10, 0, 19045, 0};
  Architecture arch = Architecture::kX64;
  std::wstring region;
  LANGID ui_language = 1033;
  bool elevated = false;
};

}  // namespace base

#endif  // BASE_FAKE_OS_FACTS_FOR_TESTING_H_
