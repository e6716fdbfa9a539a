#include "setup/setup_process.h"

#include <vector>

#include "base/scoped_handle.h"
#include "base/logging.h"
#include "setup/exit_code.h"
#include "setup/install_observer.h"

namespace setup {

bool RunModuleAndWait(const wchar_t* application, const std::wstring& command_line,
                      int* exit_code, InstallObserver* observer, bool* created) {
  LOG(INFO) << "Run: " << command_line;
  if (created)
    *created = false;
  *exit_code = ToInt(ExitCode::INSTALLATION_NOT_FINISHED);
  std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(application, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
    PLOG(ERROR) << "Create process failed.";
    return false;
  }
  if (created)
    *created = true;
  base::ScopedHandle process(info.hProcess);
  base::ScopedHandle thread(info.hThread);
  LOG(INFO) << "Process created: " << static_cast<unsigned long>(info.dwProcessId);
  if (observer) {
    observer->SetProgressPercent(40);
    observer->OnSetupStarted();
  }
  thread.reset();

  LOG(INFO) << "Wait for process finish.";
  if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
    PLOG(ERROR) << "Wait process failed.";
    return false;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(process.get(), &code)) {
    // No code was read, so none is described: 400 would read as a success.
    PLOG(ERROR) << "Get setup process exit code failed.";
    return false;
  }
  *exit_code = static_cast<int>(code);
  LOG(INFO) << "Setup process exit with code: "
            << DescribeSetupExitCode(static_cast<uint32_t>(code));
  return true;
}

}  // namespace setup
