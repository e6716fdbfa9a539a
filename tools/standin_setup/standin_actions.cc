#include "tools/standin_setup/standin_actions.h"

#include <shellapi.h>

#include <string>

#include "base/string_conv.h"

namespace standin {

ActionLog::ActionLog(const std::wstring& path, std::wstring_view role) : role_(role) {
  if (!path.empty()) {
    file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
}

void ActionLog::Write(std::wstring_view text) {
  if (!file_.is_valid())
    return;
  // One write per line keeps lines of the two processes apart.
  std::string line = base::WideToUtf8(role_ + L": " + std::wstring(text)) + "\r\n";
  DWORD written = 0;
  ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool WriteUtf8File(const std::wstring& path, std::wstring_view text) {
  base::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid())
    return false;
  std::string bytes = base::WideToUtf8(text);
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

bool PostRegistered(HWND window, const wchar_t* name, WPARAM wparam, ActionLog* log) {
  UINT message = ::RegisterWindowMessageW(name);
  bool posted = message != 0 && ::PostMessageW(window, message, wparam, 0);
  DWORD error = posted ? 0 : ::GetLastError();
  std::wstring text = L"post " + std::wstring(name) + L" " + std::to_wstring(wparam);
  if (!posted)
    text += L" failed, error " + std::to_wstring(error);
  log->Write(text);
  return posted;
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* command_line) {
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(command_line, &count);
  if (!argv)
    return {};
  std::vector<std::wstring> args(argv, argv + count);
  ::LocalFree(argv);
  return args;
}

bool PumpMessagesFor(DWORD milliseconds) {
  ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT)
        return false;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ULONGLONG now = ::GetTickCount64();
    if (now >= deadline)
      return true;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                QS_ALLINPUT);
  }
}

}  // namespace standin
