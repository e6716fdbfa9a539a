// Force-included into the shipped build's C++ sources. That build ends the
// process on any error the standard library would throw
// (installer/no_exceptions.cc), so the messages those throws carry are never
// read; and since a PE linker does not merge string literals, every object
// file kept its own copies of them (some 8 KB in all).
#include <bits/c++config.h>
#undef __N
#define __N(msgid) ("")
// The out-of-range throws take their message as a printf format.
#pragma GCC diagnostic ignored "-Wformat-zero-length"
