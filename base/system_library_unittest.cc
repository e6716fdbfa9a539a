#include "base/system_library.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/exception_guard.h"
#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"

// Bound on first use through delay-load libraries made for this test: a
// library that no system has, and a kernel32 export that does not exist.
extern "C" int WINAPI TxMissingFunction();
extern "C" int WINAPI TxNoSuchExport();

namespace base {
namespace {

constexpr DWORD kModNotFound = 0xC06D007E;
constexpr DWORD kProcNotFound = 0xC06D007F;

std::wstring SystemDirectory() {
  wchar_t dir[MAX_PATH];
  UINT length = ::GetSystemDirectoryW(dir, MAX_PATH);
  return std::wstring(dir, length);
}

TEST(SystemLibraryTest, PathsStayInTheSystemDirectory) {
  EXPECT_EQ(SystemLibraryPath(L"cabinet.dll"), SystemDirectory() + L"\\cabinet.dll");
  for (const wchar_t* name : {L"", L"..\\cabinet.dll", L"sub\\x.dll", L"C:x.dll",
                              L"C:\\Windows\\System32\\cabinet.dll", L"/x.dll"}) {
    EXPECT_EQ(SystemLibraryPath(name), L"") << name;
    EXPECT_EQ(LoadSystemLibrary(name), nullptr) << name;
  }
}

// A library planted beside the executable is never the one that is bound.
class PlantedLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::wstring dir = DirName(GetExecutablePath());
    planted_ = JoinPath(dir, L"tx_missing_library.dll");
    ASSERT_TRUE(::CopyFileW((SystemDirectory() + L"\\version.dll").c_str(), planted_.c_str(),
                            FALSE));
  }
  void TearDown() override { ::DeleteFileW(planted_.c_str()); }

  std::wstring planted_;
};

TEST_F(PlantedLibraryTest, ExplicitLoadIgnoresIt) {
  EXPECT_EQ(LoadSystemLibrary(L"tx_missing_library.dll"), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  ScopedModule from_system(LoadSystemLibrary(L"version.dll"));
  ASSERT_TRUE(from_system.is_valid());
  wchar_t path[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(from_system.get(), path, MAX_PATH), 0u);
  EXPECT_EQ(ToLowerAscii(NarrowLow8(DirName(path))), ToLowerAscii(NarrowLow8(SystemDirectory())));
}

// The planted copy would satisfy a search by bare name; the bound library must
// come from the system directory, so the first use fails with the documented
// delay-load exception instead, naming the library and the function.
TEST_F(PlantedLibraryTest, FirstUseOfAMissingLibraryRaisesModuleNotFound) {
  GuardedCallException exception;
  EXPECT_FALSE(CallWithExceptionGuard([](void*) { TxMissingFunction(); }, nullptr, &exception));
  EXPECT_EQ(exception.code, kModNotFound);
  EXPECT_EQ(exception.dll, "tx_missing_library.dll");
  EXPECT_EQ(exception.proc, "TxMissingFunction");
  EXPECT_EQ(::GetModuleHandleW(L"tx_missing_library.dll"), nullptr);
}

TEST(SystemLibraryTest, FirstUseOfAMissingExportRaisesProcNotFound) {
  GuardedCallException exception;
  EXPECT_FALSE(CallWithExceptionGuard([](void*) { TxNoSuchExport(); }, nullptr, &exception));
  EXPECT_EQ(exception.code, kProcNotFound);
  EXPECT_EQ(exception.dll, "kernel32.dll");
  EXPECT_EQ(exception.proc, "TxNoSuchExport");
}

}  // namespace
}  // namespace base
