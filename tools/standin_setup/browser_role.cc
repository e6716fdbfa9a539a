#include "tools/standin_setup/browser_role.h"

#include "base/scoped_handle.h"

namespace standin {

namespace {

LRESULT CALLBACK BrowserWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

HWND WindowSwitch(const std::vector<std::wstring>& args, const wchar_t* name) {
  std::optional<std::wstring> text = FindSwitchValue(args, name);
  std::optional<uintptr_t> value = text ? ParseHandleValue(*text) : std::nullopt;
  return value ? reinterpret_cast<HWND>(*value) : nullptr;
}

}  // namespace

DWORD RunBrowser(const StandinConfig& config, const std::vector<std::wstring>& args,
                 ActionLog* log) {
  ULONGLONG start = ::GetTickCount64();
  HWND progress_window = WindowSwitch(args, L"progress-window");
  std::optional<std::wstring> ready_name = FindSwitchValue(args, L"ready-event");
  base::ScopedHandle ready;
  if (ready_name)
    ready.reset(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready_name->c_str()));

  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = BrowserWindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kBrowserWindowClass;
  HWND window = nullptr;
  if (::RegisterClassExW(&window_class)) {
    window = ::CreateWindowExW(0, kBrowserWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                               nullptr, window_class.hInstance, nullptr);
  }
  if (!window) {
    log->Write(L"cannot create the message window, error " +
               std::to_wstring(::GetLastError()));
    return 1;
  }
  log->Write(L"message window up for " + std::to_wstring(config.browser_ms) + L" ms");
  if (ready.is_valid())
    ::SetEvent(ready.get());

  bool open = true;
  if (progress_window) {
    for (uint32_t percent : config.import_progress) {
      PostRegistered(progress_window, kImportProgressMessage, percent, log);
      if (!(open = PumpMessagesFor(config.step_ms)))
        break;
    }
    if (open && config.browser_close_window)
      PostRegistered(progress_window, kCloseWindowMessage, 0, log);
  }
  if (open) {
    ULONGLONG elapsed = ::GetTickCount64() - start;
    if (elapsed < config.browser_ms)
      open = PumpMessagesFor(static_cast<DWORD>(config.browser_ms - elapsed));
  }
  if (open)
    ::DestroyWindow(window);
  log->Write(open ? L"message window lifetime over" : L"message window closed early");
  return 0;
}

}  // namespace standin
