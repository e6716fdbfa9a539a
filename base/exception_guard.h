#ifndef BASE_EXCEPTION_GUARD_H_
#define BASE_EXCEPTION_GUARD_H_

#include <cstdint>
#include <string>

namespace base {

// What a guarded call ended with.
struct GuardedCallException {
  uint32_t code = 0;  // 0 when the call returned normally.
  // With 0xC06D007E (library not found) or 0xC06D007F (function not found),
  // raised by the delay-load helper: the library's name.
  std::string dll;
  // The function's name when it is imported by name; empty for an ordinal
  // import and for every other code.
  std::string proc;
};

// Runs fn(context). When a structured exception escapes fn, it is swallowed,
// its code and (for delay-load failures) the library and function names are
// recorded in *exception, and the call returns as if fn had ended. Before
// that, the system unwinds fn's frames, so their __finally blocks run (and, in
// the 64-bit build only, destructors of C++ objects). Answers true when fn
// returned normally. `exception` may be null; otherwise it is overwritten on
// every call. May be called from any thread and nested.
//
// C++ exceptions are not intercepted: the 64-bit build lets them propagate
// through the guard, and the 32-bit build is compiled without them.
bool CallWithExceptionGuard(void (*fn)(void* context), void* context,
                            GuardedCallException* exception);

}  // namespace base

#endif  // BASE_EXCEPTION_GUARD_H_
