#include "installer/elevated_child.h"

#include <windows.h>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/logging.h"
#include "base/command_line.h"
#include "setup/exit_code.h"
#include "installer/forwarding_observer.h"
#include "installer/installer.h"
#include "setup/elevated_installer_process.h"
#include "base/installer_switches.h"
#include "setup/delayed_params.h"

namespace installer {

int ExecuteAsAdmin(const base::CommandLine& command_line) {
  std::wstring setup_command_text = command_line.GetSwitchValue(base::switches::kSetupCmdLine);
  std::wstring parent_id_text =
      command_line.GetSwitchValue(base::switches::kParentInstallerProcessId);
  uint64_t parent_id = 0;
  if (!base::ParseUnsignedDecimal(parent_id_text, &parent_id))
    PLOG(ERROR) << "Suspicious process id=" << parent_id_text;

  base::ScopedHandle parent(
      ::OpenProcess(SYNCHRONIZE, TRUE, static_cast<DWORD>(parent_id)));
  LOG(INFO) << "Start installer as admin";

  base::CommandLine setup_command_line = base::CommandLine::FromString(setup_command_text);

  base::ScopedHandle go_event(::OpenEventW(SYNCHRONIZE, FALSE, setup::kElevationGoEventName));
  base::ScopedHandle cancel_event(
      ::OpenEventW(SYNCHRONIZE, FALSE, setup::kElevationCancelEventName));
  // A missing handle makes the wait fail, which ends this road like a cancel.
  HANDLE handles[] = {go_event.get(), cancel_event.get(), parent.get()};
  DWORD wait_result = ::WaitForMultipleObjects(3, handles, FALSE, INFINITE);
  if (wait_result != WAIT_OBJECT_0) {
    PLOG(ERROR) << "Installer started as admin has been unexpectedly synced, wr="
               << static_cast<unsigned long>(wait_result);
    return setup::ToInt(setup::ExitCode::ELEVATED_RUN_FAILED);
  }

  setup::ApplyDelayedParams(setup::ReadDelayedParams(), &setup_command_line);
  const std::wstring archive = setup_command_line.program();
  if (!base::FileExists(archive)) {
    PLOG(ERROR) << "Browser archive " << archive << " does not exist";
    return setup::ToInt(setup::ExitCode::ELEVATED_RUN_FAILED);
  }

  uint64_t window = 0;
  base::ParseUnsignedDecimal(setup_command_line.GetSwitchValue(base::switches::kProgressWindow),
                             &window);
  ForwardingObserver observer(reinterpret_cast<HWND>(static_cast<uintptr_t>(window)));
  Installer installer(&observer, nullptr, nullptr, command_line, InstallerEnvironment());

  // Any process of this user can fill the shared section or start this
  // executable with a setup command line, and can re-point a path between
  // two opens of it (a junction), or leave DLLs beside the archive for the
  // setup to load. So this high-integrity process runs only a copy, read
  // through the lock into a folder that no such process can change, which
  // passes the same verification as on the direct road.
  base::ScopedHandle lock = Installer::LockArchive(archive);
  if (!lock.is_valid()) {
    PLOG(ERROR) << "Cannot lock file: " << archive;
    return setup::ToInt(setup::ExitCode::ELEVATED_RUN_FAILED);
  }
  base::PrivateDirectory private_folder;
  const std::wstring copy = Installer::CopyToPrivateFolder(lock.get(), archive, &private_folder);
  if (copy.empty())
    return setup::ToInt(setup::ExitCode::ELEVATED_RUN_FAILED);
  if (!installer.VerifyArchive(copy)) {
    PLOG(ERROR) << "Module verification failed: " << copy;
    return setup::ToInt(setup::ExitCode::ELEVATED_RUN_FAILED);
  }
  LOG(INFO) << "Verification succeeded: " << copy;
  setup_command_line.set_program(copy);
  bool ok = installer.RunModule(copy, setup_command_line);
  LOG(INFO) << "RunModule results: success=" << (ok ? 1 : 0);
  // The parent only learns success or failure: a setup that reported a
  // failure is a failed run for it too.
  ok = ok && setup::SetupSucceeded(static_cast<uint32_t>(installer.exit_code()));
  return setup::ToInt(ok ? setup::ExitCode::ELEVATED_RUN_SUCCEEDED
                         : setup::ExitCode::ELEVATED_RUN_FAILED);
}

}  // namespace installer
