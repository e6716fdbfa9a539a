#ifndef TOOLS_STANDIN_SETUP_STANDIN_ACTIONS_H_
#define TOOLS_STANDIN_SETUP_STANDIN_ACTIONS_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/scoped_handle.h"

namespace standin {

// The registered messages that the setup and the browser post to the
// installer's progress window.
inline constexpr wchar_t kInstallProgressMessage[] = L"tarnix.lite.set_install_progress";
inline constexpr wchar_t kImportProgressMessage[] = L"tarnix.lite.set_import_progress";
inline constexpr wchar_t kCloseWindowMessage[] = L"tarnix.lite.close_window";
inline constexpr wchar_t kHigherVersionMessage[] = L"tarnix.higher_version_exist";

// The class of the running browser's message-only window.
inline constexpr wchar_t kBrowserWindowClass[] = L"TarnixBrowser_MessageWindow";

// Appends one UTF-8 line per action to a file, so that a failing end-to-end
// test can show what the stand-in did. Does nothing without a path. Lines of
// the setup and the browser processes may interleave, each stays whole.
class ActionLog {
 public:
  ActionLog(const std::wstring& path, std::wstring_view role);

  void Write(std::wstring_view text);

 private:
  base::ScopedHandle file_;
  std::wstring role_;
};

// Writes `text` as UTF-8, replacing the file. Answers false on failure, with
// the last error set.
bool WriteUtf8File(const std::wstring& path, std::wstring_view text);

// Posts the registered message `name` with `wparam` to `window`, and logs it.
bool PostRegistered(HWND window, const wchar_t* name, WPARAM wparam, ActionLog* log);

// Splits a command line as CommandLineToArgvW does; the program comes first.
std::vector<std::wstring> SplitCommandLine(const wchar_t* command_line);

// Dispatches this thread's messages for `milliseconds`. Answers false as soon
// as WM_QUIT arrives.
bool PumpMessagesFor(DWORD milliseconds);

}  // namespace standin

#endif  // TOOLS_STANDIN_SETUP_STANDIN_ACTIONS_H_
