#include "setup/elevated_installer_process.h"

#include <utility>

#include "base/logging.h"

namespace setup {

ElevatedInstallerProcess::ElevatedInstallerProcess()
    : go_event_(::CreateEventW(nullptr, FALSE, FALSE, kElevationGoEventName)),
      cancel_event_(::CreateEventW(nullptr, FALSE, FALSE, kElevationCancelEventName)) {}

ElevatedInstallerProcess::~ElevatedInstallerProcess() {
  if (process_.is_valid()) {
    if (!released_)
      ::SetEvent(cancel_event_.get());
    EnsureProcessFinished();
    return;
  }
  go_event_.reset();
  cancel_event_.reset();
  DestroyWindowOnOwnerThread(std::exchange(window_, nullptr));
}

void ElevatedInstallerProcess::SetProcessAndWindow(base::ScopedHandle process, HWND window) {
  process_ = std::move(process);
  window_ = window;
}

bool ElevatedInstallerProcess::RunModule(HANDLE stop_event) {
  released_ = true;
  ::SetEvent(go_event_.get());
  HANDLE handles[] = {stop_event, process_.get()};
  DWORD result = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (result == WAIT_OBJECT_0) {
    PLOG(ERROR) << "The elevated installer was terminated due to stop event.";
    // The window closing (on the setup's own request, or the person's) does
    // not end the setup in the child: its end still decides the result, as
    // on the direct road, within the time the child gets anyway.
    if (::WaitForSingleObject(process_.get(), finish_timeout_ms_) != WAIT_OBJECT_0) {
      EnsureProcessFinished(0);
      return false;
    }
    result = WAIT_OBJECT_0 + 1;
  }
  if (result != WAIT_OBJECT_0 + 1)
    return false;
  DWORD code = 0;
  if (::GetExitCodeProcess(process_.get(), &code))
    exit_code_ = code;
  else
    PLOG(ERROR) << "Failed to get exit code of the elevated installer.";
  return exit_code_ == 0;
}

void ElevatedInstallerProcess::EnsureProcessFinished(DWORD timeout_ms) {
  if (process_.is_valid() && ::WaitForSingleObject(process_.get(), timeout_ms) == WAIT_TIMEOUT) {
    terminated_ = true;
    PLOG(ERROR) << "The elevated installer hangs and must be forcibly terminated.";
    ::TerminateProcess(process_.get(), 0);
  }
  process_.reset();
  go_event_.reset();
  cancel_event_.reset();
  DestroyWindowOnOwnerThread(std::exchange(window_, nullptr));
}

void DestroyWindowOnOwnerThread(HWND window) {
  if (!window)
    return;
  if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
    ::DestroyWindow(window);
    return;
  }
  // DestroyWindow fails on any other thread. A posted WM_CLOSE reaches the
  // window's default procedure, which destroys it on the owner thread at
  // its next dispatch. Posting, unlike sending, never waits for that thread,
  // which may itself be waiting for the installation thread to end. A window
  // whose thread has ended is gone already, and the post fails harmlessly.
  ::PostMessageW(window, WM_CLOSE, 0, 0);
}

}  // namespace setup
