#include "base/error_text.h"

#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/system_library.h"

namespace base {

namespace {

constexpr DWORD kEnglish = 1033;
constexpr DWORD kBufferUnits = 1024;

std::wstring FormatFrom(HMODULE module, DWORD code) {
  wchar_t buffer[kBufferUnits];
  DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS |
                (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  DWORD size = ::FormatMessageW(flags, module, code, kEnglish, buffer, kBufferUnits, nullptr);
  return std::wstring(buffer, size);
}

std::wstring FormatFromLibrary(const wchar_t* name, DWORD code) {
  base::ScopedModule module(base::LoadSystemLibrary(name, LOAD_LIBRARY_AS_DATAFILE));
  if (!module.is_valid())
    return {};
  return FormatFrom(module.get(), code);
}

}  // namespace

std::string SystemErrorText(DWORD code) {
  DWORD saved = ::GetLastError();
  std::wstring message = FormatFrom(nullptr, code);
  if (message.empty())
    message = FormatFromLibrary(L"wininet.dll", code);
  if (message.empty())
    message = FormatFromLibrary(L"urlmon.dll", code);
  ::SetLastError(saved);

  std::string text = std::to_string(code) + ", ";
  // System messages end with a line break, which would split the log line.
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' '))
    message.pop_back();
  if (message.empty()) {
    return text + "unknown error 0x" + base::HexString(code);
  }
  return text + base::WideToUtf8(message);
}

}  // namespace base
