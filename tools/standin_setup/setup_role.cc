#include "tools/standin_setup/setup_role.h"

#include "base/file_util.h"
#include "base/scoped_handle.h"

namespace standin {

namespace {

// How long the setup waits for the browser copy to show its window; a real
// setup does not wait, but a test must not race the installer's first look.
constexpr DWORD kBrowserReadyTimeoutMs = 10000;

// Copies this program into the browser directory, as an installation would,
// so that the setup archive itself is not held open by the running browser.
std::wstring InstallBrowserCopy(const StandinConfig& config, ActionLog* log) {
  std::wstring self = base::GetExecutablePath();
  std::wstring dir = BrowserDirectory(config);
  if (self.empty() || dir.empty() || !base::CreateDirectoryTree(dir)) {
    log->Write(L"cannot prepare the browser directory \"" + dir + L"\", error " +
               std::to_wstring(::GetLastError()));
    return {};
  }
  // A browser left running by an earlier test keeps "browser.exe" locked.
  for (const std::wstring& name :
       {std::wstring(L"browser.exe"),
        L"browser_" + std::to_wstring(::GetCurrentProcessId()) + L".exe"}) {
    std::wstring target = base::JoinPath(dir, name);
    if (::CopyFileW(self.c_str(), target.c_str(), FALSE))
      return target;
  }
  log->Write(L"cannot copy the browser into \"" + dir + L"\", error " +
             std::to_wstring(::GetLastError()));
  return {};
}

// Starts the browser without standard handles. It outlives this process, and
// under Wine a child otherwise keeps the test's stdout pipe open until it ends.
base::ScopedHandle StartDetached(const std::wstring& command_line, DWORD* process_id) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = INVALID_HANDLE_VALUE;
  startup.hStdError = INVALID_HANDLE_VALUE;
  std::wstring buffer = command_line;  // CreateProcessW may write into it.
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &info)) {
    return base::ScopedHandle();
  }
  base::ScopedHandle thread(info.hThread);
  *process_id = info.dwProcessId;
  return base::ScopedHandle(info.hProcess);
}

void StartBrowser(const StandinConfig& config, HWND progress_window, ActionLog* log) {
  std::wstring browser = InstallBrowserCopy(config, log);
  if (browser.empty())
    return;
  // A named event, so that nothing needs to be inherited.
  std::wstring ready_name = L"tx-standin-browser-ready-" +
                            std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(::GetTickCount64());
  base::ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
  if (!ready.is_valid()) {
    log->Write(L"CreateEventW failed, error " + std::to_wstring(::GetLastError()));
    return;
  }
  std::wstring command_line =
      L"\"" + browser + L"\" --" + kBrowserRoleSwitch + L" --progress-window=" +
      std::to_wstring(reinterpret_cast<uintptr_t>(progress_window)) + L" --ready-event=" +
      ready_name;
  DWORD process_id = 0;
  base::ScopedHandle process = StartDetached(command_line, &process_id);
  if (!process.is_valid()) {
    log->Write(L"cannot start the browser: " + command_line + L", error " +
               std::to_wstring(::GetLastError()));
    return;
  }
  log->Write(L"started the browser, process " + std::to_wstring(process_id) + L": " +
             command_line);
  HANDLE waits[] = {ready.get(), process.get()};
  DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, kBrowserReadyTimeoutMs);
  if (result == WAIT_OBJECT_0)
    log->Write(L"the browser window is up");
  else if (result == WAIT_OBJECT_0 + 1)
    log->Write(L"the browser ended before its window was up");
  else
    log->Write(L"the browser window did not come up in time");
}

}  // namespace

std::wstring BrowserDirectory(const StandinConfig& config) {
  if (!config.browser_dir.empty())
    return config.browser_dir;
  std::optional<std::wstring> local = ProcessEnvironment(L"LOCALAPPDATA");
  if (local)
    return base::JoinPath(*local, L"Tarnix\\Application");
  std::wstring temp = base::GetTempDirectory();
  return temp.empty() ? std::wstring() : base::JoinPath(temp, L"TarnixStandinBrowser");
}

DWORD RunSetup(const StandinConfig& config, const std::vector<std::wstring>& args,
               ActionLog* log) {
  HWND window = nullptr;
  std::optional<std::wstring> text = FindSwitchValue(args, L"progress-window");
  if (text) {
    std::optional<uintptr_t> value = ParseHandleValue(*text);
    if (value)
      window = reinterpret_cast<HWND>(*value);
    else
      log->Write(L"progress-window is not a decimal handle: \"" + *text + L"\"");
  } else {
    log->Write(L"no progress-window switch");
  }

  if (window) {
    for (uint32_t stage : config.stages) {
      PostRegistered(window, kInstallProgressMessage, stage, log);
      ::Sleep(config.step_ms);
    }
    if (config.higher_version)
      PostRegistered(window, kHigherVersionMessage, 0, log);
    if (config.close_window)
      PostRegistered(window, kCloseWindowMessage, 0, log);
  }
  if (config.browser_ms > 0)
    StartBrowser(config, window, log);
  ::Sleep(config.setup_ms);
  log->Write(L"exit " + std::to_wstring(static_cast<LONG>(config.exit_code)));
  return config.exit_code;
}

}  // namespace standin
