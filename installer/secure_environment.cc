#include "installer/secure_environment.h"

#include <utility>

#include "base/file_util.h"
#include "base/os_facts.h"
#include "base/process.h"
#include "base/test_hooks.h"
#include "base/command_line.h"
#include "setup/exit_code.h"
#include "base/installer_switches.h"

namespace installer {

namespace {

constexpr DWORD kSafeSearchMode = 0x8001;  // BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | PERMANENT
constexpr DWORD kSearchSystem32 = 0x800;   // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetSearchPathModeFunction = BOOL(WINAPI*)(DWORD);
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

#if defined(TX_TEST_HOOKS)
// Tests put a file beside the relaunched copy to play an insecure directory.
void CopyTestSeedFile(const std::wstring& dir) {
  std::wstring seed = base::TestHookValue(L"TX_TEST_RELAUNCH_SEED_FILE");
  if (!seed.empty())
    ::CopyFileW(seed.c_str(), base::JoinPath(dir, base::BaseName(seed)).c_str(), FALSE);
}
#endif

// Deletes the relaunch copy and its directory when it goes out of scope, so
// on every road out of the relaunch. Deleting at reboot needs administrator
// rights, which most users lack, so that is only the fallback.
class RelaunchCopyRemover {
 public:
  explicit RelaunchCopyRemover(std::wstring dir) : dir_(std::move(dir)) {}
  ~RelaunchCopyRemover() {
    if (!copy_.empty() && !DeleteExecutable(copy_))
      base::DeleteAtReboot(copy_);
    // Reboot deletions run in order: the file before its directory.
    if (!::RemoveDirectoryW(dir_.c_str()))
      base::DeleteAtReboot(dir_);
  }
  RelaunchCopyRemover(const RelaunchCopyRemover&) = delete;
  RelaunchCopyRemover& operator=(const RelaunchCopyRemover&) = delete;

  void set_copy(std::wstring copy) { copy_ = std::move(copy); }

 private:
  // The system may hold an ended process's image for a moment after its
  // handle is signalled.
  static bool DeleteExecutable(const std::wstring& path) {
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
      if (::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND)
        return true;
      DWORD error = ::GetLastError();
      if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
        return false;
      ::Sleep(kDeleteRetryMs);
    }
    return false;
  }

  static constexpr int kDeleteAttempts = 20;
  static constexpr DWORD kDeleteRetryMs = 50;

  const std::wstring dir_;
  std::wstring copy_;
};

SecureEnvironmentOutcome RelaunchFromTemporaryDirectory(const base::CommandLine& command_line,
                                                        const std::wstring& executable) {
  SecureEnvironmentOutcome outcome;
  if (executable.empty())
    return outcome;
  std::wstring dir = base::CreateTemporaryDirectory(L"");
  if (dir.empty())
    return outcome;
  RelaunchCopyRemover remover(dir);
  std::wstring copy = base::JoinPath(dir, base::BaseName(executable));
  if (!::CopyFileW(executable.c_str(), copy.c_str(), FALSE))
    return outcome;
  remover.set_copy(copy);
#if defined(TX_TEST_HOOKS)
  CopyTestSeedFile(dir);
#endif

  base::CommandLine copy_command_line = command_line;
  copy_command_line.set_program(copy);
  copy_command_line.AppendSwitch(base::switches::kSpawnedInProtectedDir);
  base::ScopedHandle process = base::LaunchProcess(copy_command_line.Format(), {});
  if (!process.is_valid())
    return outcome;

  DWORD exit_code = 0;
  const bool read = base::WaitForExitCode(process.get(), &exit_code);
  return RelaunchedCopyOutcome(read, exit_code, read ? 0 : ::GetLastError());
}

}  // namespace

SecureEnvironmentOutcome RelaunchedCopyOutcome(bool exit_code_read, DWORD exit_code,
                                               DWORD read_error) {
  SecureEnvironmentOutcome outcome;
  outcome.result = SecureEnvironmentResult::kRelaunchedCopyFoundDll;
  if (!exit_code_read) {
    outcome.copy_exit_code =
        static_cast<DWORD>(setup::ToInt(setup::ExitCode::INSTALLATION_NOT_FINISHED));
    outcome.copy_exit_code_unknown = true;
    outcome.read_error = read_error;
    return outcome;
  }
  outcome.copy_exit_code = exit_code;
  if (static_cast<int32_t>(exit_code) !=
      setup::ToInt(setup::ExitCode::DLL_FOUND_IN_WORKING_DIRECTORY))
    outcome.result = SecureEnvironmentResult::kRelaunchedCopyExited;
  return outcome;
}

SecureEnvironmentOutcome EnsureSecureEnvironment(const base::CommandLine& command_line,
                                                 base::OsFacts* os_facts) {
  ::SetDllDirectoryW(L"");
  SecureEnvironmentOutcome outcome;
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  auto set_search_path_mode = reinterpret_cast<SetSearchPathModeFunction>(
      ::GetProcAddress(kernel32, "SetSearchPathMode"));
  auto set_default_dll_directories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      ::GetProcAddress(kernel32, "SetDefaultDllDirectories"));

  if (set_search_path_mode && set_default_dll_directories && os_facts->HasSafeDllSearch()) {
    bool secured = set_search_path_mode(kSafeSearchMode) &&
                   set_default_dll_directories(kSearchSystem32);
    outcome.result =
        secured ? SecureEnvironmentResult::kSecured : SecureEnvironmentResult::kNotSecured;
    return outcome;
  }

  // Older systems: the executable's own directory stays on the search path,
  // so run from a directory that holds nothing but the executable.
  ::SetDllDirectoryW(L"");
  std::wstring executable = base::GetExecutablePath();
  if (!command_line.HasSwitch(base::switches::kRunAsAdmin) &&
      !command_line.HasSwitch(base::switches::kSpawnedInProtectedDir)) {
    return RelaunchFromTemporaryDirectory(command_line, executable);
  }
  outcome.result = base::DirectoryHasMatch(base::DirName(executable), L"*.dll")
                       ? SecureEnvironmentResult::kDllBesideExecutable
                       : SecureEnvironmentResult::kSecured;
  return outcome;
}

}  // namespace installer
