#ifndef BASE_ERROR_TEXT_H_
#define BASE_ERROR_TEXT_H_

#include <windows.h>

#include <string>

namespace base {

// "<code>, <message>": the system's English message for `code`, else the one
// of wininet.dll, else of urlmon.dll, else "unknown error 0x<hex>".
std::string SystemErrorText(DWORD code);

}  // namespace base

#endif  // BASE_ERROR_TEXT_H_
