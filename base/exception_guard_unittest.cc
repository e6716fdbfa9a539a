#include "base/exception_guard.h"

#include <windows.h>

#include <delayimp.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace base {
namespace {

constexpr DWORD kModNotFound = 0xC06D007E;
constexpr DWORD kProcNotFound = 0xC06D007F;
constexpr DWORD kAccessViolation = EXCEPTION_ACCESS_VIOLATION;

// Raises what the delay-load helper raises: parameter 0 points at a
// DelayLoadInfo on the raiser's stack.
struct Failure {
  DWORD code;
  const char* dll;
  const char* proc;              // Null: imported by ordinal.
  const void* info = nullptr;    // Raised instead of the DelayLoadInfo.
};

void Raise(void* context) {
  const auto* failure = static_cast<const Failure*>(context);
  DelayLoadInfo info = {};
  info.cb = sizeof(info);
  info.szDll = failure->dll;
  info.dlp.fImportByName = failure->proc != nullptr;
  info.dlp.szProcName = failure->proc;
  ULONG_PTR parameter = reinterpret_cast<ULONG_PTR>(failure->info ? failure->info : &info);
  ::RaiseException(failure->code, 0, 1, &parameter);
}

void WriteToNull(void*) {
  volatile int* volatile target = nullptr;
  *target = 1;
}

struct Row {
  Failure failure;
  std::string dll;
  std::string proc;
};

void ExpectReported(const Row& row) {
  SCOPED_TRACE(testing::Message() << std::hex << row.failure.code << " " << row.dll << "!"
                                  << row.proc.substr(0, 20));
  GuardedCallException exception{1, "stale", "stale"};  // Must be overwritten.
  EXPECT_FALSE(CallWithExceptionGuard(Raise, const_cast<Failure*>(&row.failure), &exception));
  EXPECT_EQ(exception.code, row.failure.code);
  EXPECT_EQ(exception.dll, row.dll);
  EXPECT_EQ(exception.proc, row.proc);
}

TEST(ExceptionGuardTest, ReportsHowTheCallEnded) {
  ExpectReported({{kModNotFound, "cplib.dll", "CryptoProInit"}, "cplib.dll", "CryptoProInit"});
  ExpectReported({{kModNotFound, "cplib.dll", nullptr}, "cplib.dll", ""});
  ExpectReported({{kProcNotFound, "cplib.dll", "CPAcquire"}, "cplib.dll", "CPAcquire"});
  // The same parameter means nothing under another code.
  ExpectReported({{0xE0000001, "cplib.dll", "CryptoProInit"}, "", ""});

  GuardedCallException exception{1, "stale", "stale"};
  EXPECT_FALSE(CallWithExceptionGuard(WriteToNull, nullptr, &exception));
  EXPECT_EQ(exception.code, kAccessViolation);
  EXPECT_EQ(exception.dll + exception.proc, "");

  int calls = 0;
  exception = {1, "stale", "stale"};
  auto count = [](void* calls) { ++*static_cast<int*>(calls); };
  EXPECT_TRUE(CallWithExceptionGuard(count, &calls, &exception));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(exception.code, 0u);
  EXPECT_EQ(exception.dll + exception.proc, "");
  EXPECT_FALSE(CallWithExceptionGuard(WriteToNull, nullptr, nullptr));  // Null is allowed.
}

// The raiser's pointers may be anything: no fault, and no bytes that are not a name.
TEST(ExceptionGuardTest, UntrustworthyNamesAreDroppedOrCut) {
  char* pages = static_cast<char*>(::VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old_protect;
  ASSERT_TRUE(::VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old_protect));
  char* unterminated = pages + 4096 - 5;
  memcpy(unterminated, "cplib", 5);
  const std::string long_name(400, 'x');

  ExpectReported({{kModNotFound, "cplib.dll", "CryptoProInit", pages + 4096}, "", ""});
  ExpectReported({{kModNotFound, unterminated, "CryptoProInit"}, "", "CryptoProInit"});
  ExpectReported({{kModNotFound, nullptr, pages + 4096}, "", ""});
  ExpectReported({{kProcNotFound, "cplib.dll", long_name.c_str()}, "cplib.dll",
                  long_name.substr(0, 256)});
  ::VirtualFree(pages, 0, MEM_RELEASE);
}

// Alternates raising and returning calls and counts wrong answers; fn's frame
// must sit at one address throughout, or the guard leaks or loses stack.
int AlternateCalls(DWORD code) {
  struct Probe {
    DWORD code;
    int call;
    const volatile void* frame;
  } probe{code, 0, nullptr};
  auto body = [](void* context) {
    auto* probe = static_cast<Probe*>(context);
    volatile char local = 0;
    probe->frame = &local;
    if (probe->call % 2)
      ::RaiseException(probe->code, 0, 0, nullptr);
  };
  int faults = 0;
  const volatile void* first_frame = nullptr;
  for (; probe.call < 1000; ++probe.call) {
    GuardedCallException exception;
    const bool raises = probe.call % 2;
    const bool returned = CallWithExceptionGuard(body, &probe, &exception);
    faults += returned == raises || exception.code != (raises ? code : 0);
    if (probe.call == 0)
      first_frame = probe.frame;
    faults += probe.frame != first_frame;
  }
  return faults;
}

TEST(ExceptionGuardTest, RepeatedAndConcurrentCallsKeepTheStackSound) {
  EXPECT_EQ(AlternateCalls(0xE0000002), 0);
  int faults[2] = {-1, -1};
  std::thread first([&] { faults[0] = AlternateCalls(0xE0000003); });
  std::thread second([&] { faults[1] = AlternateCalls(0xE0000004); });
  first.join();
  second.join();
  EXPECT_EQ(faults[0], 0);
  EXPECT_EQ(faults[1], 0);
}

TEST(ExceptionGuardTest, NestedGuardCatchesOnlyItsOwnException) {
  struct Nest {
    bool raise_after_inner;
    GuardedCallException inner;
  };
  auto outer_body = [](void* context) {
    auto* nest = static_cast<Nest*>(context);
    CallWithExceptionGuard(WriteToNull, nullptr, &nest->inner);
    if (nest->raise_after_inner)  // The outer guard must still be armed.
      ::RaiseException(0xE0000005, 0, 0, nullptr);
  };
  for (bool raise_after_inner : {false, true}) {
    Nest nest{raise_after_inner, {}};
    GuardedCallException outer;
    EXPECT_EQ(CallWithExceptionGuard(outer_body, &nest, &outer), !raise_after_inner);
    EXPECT_EQ(nest.inner.code, kAccessViolation);
    EXPECT_EQ(outer.code, raise_after_inner ? 0xE0000005u : 0u);
  }
}

#if defined(__x86_64__)
// GCC frames take part in this build's SEH unwinding: a destructor in fn
// shows that the resume unwound rather than jumped, and a C++ throw, which
// travels through SEH dispatch here, must pass the guard untouched.
TEST(ExceptionGuardTest, UnwindsThroughFnAndLetsCxxExceptionsPass) {
  struct SetOnExit {
    bool* flag;
    ~SetOnExit() { *flag = true; }
  };
  bool unwound = false;
  auto fault = [](void* flag) {
    SetOnExit set{static_cast<bool*>(flag)};
    WriteToNull(nullptr);
  };
  EXPECT_FALSE(CallWithExceptionGuard(fault, &unwound, nullptr));
  EXPECT_TRUE(unwound);

  auto throws = [](void*) { throw std::runtime_error("through"); };
  EXPECT_THROW(CallWithExceptionGuard(throws, nullptr, nullptr), std::runtime_error);
  EXPECT_FALSE(CallWithExceptionGuard(WriteToNull, nullptr, nullptr));
}
#endif

}  // namespace
}  // namespace base
