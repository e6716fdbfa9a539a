// Stand-in for the browser's setup program, for the installer's end-to-end
// tests. The installer starts it as the downloaded setup archive; it records
// how it was started, reports progress the way the real setup does, can play
// the freshly installed browser, and exits with a chosen code.
//
// Configuration, from environment variables (the installer passes its own
// environment on, so a test sets them on the installer; an empty value counts
// as unset):
//
//   TX_STANDIN_RECORD      File that receives the full command line
//                          (GetCommandLineW, UTF-8, no newline), replaced on
//                          each run; "<file>.argv" gets its arguments, one a
//                          line. Default: "standin_cmdline.txt" beside the
//                          program.
//   TX_STANDIN_LOG         File to which both roles append one line per action
//                          (messages posted, browser start, exit). Default: none.
//   TX_STANDIN_STAGES      Comma-separated stage numbers, each posted as
//                          "tarnix.lite.set_install_progress" (wParam = stage)
//                          to the `progress-window` handle, or "none".
//                          Default: 1,2,3,4,5,6,7.
//   TX_STANDIN_STEP_MS     Pause after each stage or import message. Default: 50.
//   TX_STANDIN_HIGHER_VERSION  1: post "tarnix.higher_version_exist" after the
//                          stages. Default: 0.
//   TX_STANDIN_CLOSE_WINDOW    1: post "tarnix.lite.close_window" after that.
//                          Default: 0.
//   TX_STANDIN_BROWSER_MS  When above 0, play the browser for this many
//                          milliseconds: the setup copies itself to
//                          TX_STANDIN_BROWSER_DIR as "browser.exe" (or
//                          "browser_<pid>.exe" when that one is locked), starts
//                          the copy, and waits (10 s at most) until the copy owns
//                          a message-only window of class
//                          "TarnixBrowser_MessageWindow". The copy keeps it for
//                          the given time, or until the window receives WM_CLOSE.
//                          Default: 0, no browser.
//   TX_STANDIN_BROWSER_DIR Default: %LOCALAPPDATA%\Tarnix\Application.
//   TX_STANDIN_IMPORT_PROGRESS Comma-separated values the browser posts as
//                          "tarnix.lite.set_import_progress" once its window
//                          exists, or "none". Default: none.
//   TX_STANDIN_BROWSER_CLOSE_WINDOW  1: the browser then posts
//                          "tarnix.lite.close_window". Default: 0.
//   TX_STANDIN_SETUP_MS    How long the setup stays before it exits, after the
//                          messages and the browser start. Default: 0.
//   TX_STANDIN_EXIT_CODE   The setup's exit code: signed or unsigned decimal, or
//                          0x-prefixed hexadecimal, 32 bits. Default: 0.
//
// Messages go only to a non-zero `--progress-window=<decimal HWND>` of the
// command line. A malformed variable is written to the log and the setup exits
// with 87 (ERROR_INVALID_PARAMETER) after recording its command line and doing
// nothing else. Started with --tx-standin-browser (as the setup does for the
// copy) the program plays the browser directly; --ready-event=<name> then
// names an event to signal once the window exists.

#include <windows.h>

#include <string>
#include <vector>

#include "base/file_util.h"
#include "tools/standin_setup/browser_role.h"
#include "tools/standin_setup/setup_role.h"
#include "tools/standin_setup/standin_actions.h"
#include "tools/standin_setup/standin_config.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  using namespace standin;
  constexpr DWORD kBadConfigExitCode = ERROR_INVALID_PARAMETER;

  const std::wstring command_line = ::GetCommandLineW();
  const std::vector<std::wstring> args = SplitCommandLine(command_line.c_str());
  std::vector<std::wstring> errors;
  const StandinConfig config = ReadConfig(ProcessEnvironment, &errors);

  if (HasSwitch(args, kBrowserRoleSwitch)) {
    ActionLog log(config.log_path, L"browser");
    for (const std::wstring& error : errors)
      log.Write(error);
    return errors.empty() ? static_cast<int>(RunBrowser(config, args, &log))
                          : static_cast<int>(kBadConfigExitCode);
  }

  ActionLog log(config.log_path, L"setup");
  std::wstring record = config.record_path;
  if (record.empty())
    record = base::JoinPath(base::DirName(base::GetExecutablePath()), L"standin_cmdline.txt");
  if (!WriteUtf8File(record, command_line))
    log.Write(L"cannot write \"" + record + L"\", error " + std::to_wstring(::GetLastError()));
  // The arguments as the system splits them, one a line: what a real setup
  // would see as its switches.
  std::wstring argv_text;
  for (const std::wstring& arg : args)
    argv_text += arg + L"\n";
  if (!WriteUtf8File(record + L".argv", argv_text))
    log.Write(L"cannot write the argument list, error " + std::to_wstring(::GetLastError()));
  for (const std::wstring& error : errors)
    log.Write(error);
  if (!errors.empty())
    return static_cast<int>(kBadConfigExitCode);
  return static_cast<int>(RunSetup(config, args, &log));
}
