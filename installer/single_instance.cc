#include "installer/single_instance.h"

#include "base/logging.h"

namespace installer {

namespace {

constexpr wchar_t kMutexName[] =
    L"Local\\TarnixBrowserLiteInstallerMutex-E523E369-4A72-4B13-AD57-5B956174172A";

// Shared by all processes of this image file; must be initialised to land in
// the section rather than in common storage.
__attribute__((section("MPid"), shared)) volatile LONG g_master_process_id = 0;

struct FindWindowState {
  DWORD process_id;
  HWND window;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<FindWindowState*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != state->process_id)
    return TRUE;
  state->window = window;
  return FALSE;
}

void ForceForeground(HWND window) {
  HWND foreground = ::GetForegroundWindow();
  DWORD foreground_thread = ::GetWindowThreadProcessId(foreground, nullptr);
  DWORD window_thread = ::GetWindowThreadProcessId(window, nullptr);
  bool attached = foreground_thread && foreground_thread != window_thread &&
                  ::AttachThreadInput(window_thread, foreground_thread, TRUE);
  ::BringWindowToTop(window);
  ::SetForegroundWindow(window);
  if (attached)
    ::AttachThreadInput(window_thread, foreground_thread, FALSE);
}

}  // namespace

SingleInstanceMutex::SingleInstanceMutex()
    : mutex_(::CreateMutexW(nullptr, FALSE, kMutexName)) {}

SingleInstanceMutex::~SingleInstanceMutex() {
  Release();
}

bool SingleInstanceMutex::TryAcquire() {
  if (!owned_ && mutex_.is_valid())
    owned_ = ::WaitForSingleObject(mutex_.get(), 0) == WAIT_OBJECT_0;
  return owned_;
}

void SingleInstanceMutex::Release() {
  if (owned_)
    ::ReleaseMutex(mutex_.get());
  owned_ = false;
  mutex_.reset();
}

DWORD ReadMasterProcessId() {
  return static_cast<DWORD>(::InterlockedCompareExchange(&g_master_process_id, 0, 0));
}

void WriteMasterProcessId(DWORD process_id) {
  ::InterlockedExchange(&g_master_process_id, static_cast<LONG>(process_id));
}

void BringProcessWindowToTop(DWORD process_id) {
  if (process_id == 0) {
    PLOG(ERROR) << "Failed to bring process window to top: wrong process id";
    return;
  }
  FindWindowState state = {process_id, nullptr};
  ::EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&state));
  if (!state.window)
    return;
  ForceForeground(state.window);
  if (::GetForegroundWindow() == state.window)
    return;
  // The foreground lock blocks the switch; lift it for the moment.
  DWORD old_timeout = 0;
  ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &old_timeout, 0);
  ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
  ForceForeground(state.window);
  ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<void*>(static_cast<uintptr_t>(old_timeout)),
                          SPIF_SENDCHANGE);
}

}  // namespace installer
