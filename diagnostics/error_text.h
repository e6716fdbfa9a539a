#ifndef DIAGNOSTICS_ERROR_TEXT_H_
#define DIAGNOSTICS_ERROR_TEXT_H_

#include <windows.h>

#include <string>

namespace diagnostics {

// "<code>, <message>": the system's English message for `code`, else the one
// of wininet.dll, else of urlmon.dll, else "unknown error 0x<hex>".
std::string SystemErrorText(DWORD code);

}  // namespace diagnostics

#endif  // DIAGNOSTICS_ERROR_TEXT_H_
