#include "setup/elevation_policy.h"

#include <shlobj.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/test_hooks.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/logging.h"
#include "base/file_util.h"
#include "base/installer_switches.h"

namespace setup {

namespace sw = base::switches;

namespace {

constexpr wchar_t kPolicyKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr wchar_t kConsentPromptValue[] = L"ConsentPromptBehaviorAdmin";

// SECURITY_MAX_SID_SIZE: room for any well-known SID.
constexpr DWORD kSidBufferSize = 68;

bool ReadParam(const DistribParamReader& read_param, const char* key, std::string* value) {
  return read_param && read_param(key, value);
}

// "1" (yes) and "2" (no) are the only booleans; anything else is not given.
bool HoldsBoolean(const DistribParamReader& read_param, const char* key) {
  std::string value;
  return ReadParam(read_param, key, &value) && (value == "1" || value == "2");
}

// Invalid on failure, which is logged under this function's name.
base::ScopedHandle GetProcessToken(HANDLE process) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) {
    PLOG(ERROR) << "OpenProcessToken fail";
    return base::ScopedHandle();
  }
  return base::ScopedHandle(token);
}

// The token's information of class `kind`; empty on failure, which is logged
// under this function's name.
std::vector<BYTE> GetTokenInfo(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  ::GetTokenInformation(token, kind, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token, kind, buffer.data(), size, &size)) {
    PLOG(ERROR) << "GetTokenInformation failed";
    return {};
  }
  return buffer;
}

// Only ever closed on the thread that created it, before the hand-over.
struct OwnerWindowTraits {
  using Handle = HWND;
  static Handle NullValue() { return nullptr; }
  static bool IsValid(Handle window) { return window != nullptr; }
  static void Close(Handle window) { ::DestroyWindow(window); }
};
using ScopedOwnerWindow = base::ScopedGeneric<OwnerWindowTraits>;

// The UAC prompt centres on its owner and takes the foreground from it, so
// the owner sits invisible (zero-sized) in the middle of the work area and
// holds the foreground. Without it the prompt still works, only ownerless.
ScopedOwnerWindow CreatePromptOwnerWindow() {
  ScopedOwnerWindow window(::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"",
                                             WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, nullptr, nullptr,
                                             ::GetModuleHandleW(nullptr), nullptr));
  if (!window.is_valid()) {
    PLOG(ERROR) << "CreateWindowExW failed";
    return window;
  }
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (::GetMonitorInfoW(::MonitorFromWindow(window.get(), MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    ::SetWindowPos(window.get(), nullptr, work.left + (work.right - work.left) / 2,
                   work.top + (work.bottom - work.top) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::SetForegroundWindow(window.get());
  return window;
}

// ShellExecuteEx takes the program and its parameters apart.
std::wstring ParametersOf(const base::CommandLine& line) {
  std::wstring text = line.Format();
  size_t program_end = base::QuoteArgument(line.program()).size();
  // Skips the blank between the program and the first switch.
  return program_end < text.size() ? text.substr(program_end + 1) : std::wstring();
}

}  // namespace

int ElevationPoint(const DistribParamReader& read_param,
                   const base::CommandLine& command_line) {
  if (command_line.HasSwitch(sw::kSystemLevel) ||
      command_line.HasSwitch(sw::kProgramFilesInstallation)) {
    return kElevateAtInstallStart;
  }
  std::string uac;
  if (!ReadParam(read_param, "uac", &uac))
    return kElevateAtInstallStart;
  // Text that is no decimal number counts as a number other than 0, 1, 2.
  uint64_t number = 0;
  if (!base::ParseUnsignedDecimal(base::WidenBytes(uac), &number))
    return kElevateAtInstallStart;
  if (number == 1)
    return kElevateAtWindowOpen;
  if (number == 2)
    return kElevateAtBrowserStart;
  if (number != 0)
    return kElevateAtInstallStart;
  std::string first, statpromo;
  bool first_run = ReadParam(read_param, "first", &first) && first == "1";
  bool statistics_chosen =
      HoldsBoolean(read_param, "stat") || ReadParam(read_param, "statpromo", &statpromo);
  return first_run && HoldsBoolean(read_param, "def") && statistics_chosen
             ? kElevateAtWindowOpen
             : kElevateAtInstallStart;
}

bool IsUserAnAdminGroup(HANDLE process) {
  base::ScopedHandle token = GetProcessToken(process);
  if (!token.is_valid())
    return false;
  BYTE admin_sid[kSidBufferSize] = {};
  DWORD sid_size = sizeof(admin_sid);
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admin_sid, &sid_size)) {
    PLOG(ERROR) << "CreateWellKnownSid failed";
    return false;
  }
  std::vector<BYTE> info = GetTokenInfo(token.get(), TokenGroups);
  if (info.empty())
    return false;
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(info.data());
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    // Attributes are not looked at: under UAC the group is deny-only in the
    // filtered token of an administrator, who can still be elevated.
    if (::EqualSid(groups->Groups[i].Sid, admin_sid))
      return true;
  }
  return false;
}

bool AreUACNotificationsEnabled() {
  DWORD value = 0;
  base::ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKeyPath, 0, KEY_READ, key.Receive()) ==
      ERROR_SUCCESS) {
    DWORD read = 0;
    DWORD size = sizeof(read);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), kConsentPromptValue, nullptr, &type,
                           reinterpret_cast<BYTE*>(&read), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(read)) {
      value = read;
    }
  }
  LOG(INFO) << "Read HKEY_LOCAL_MACHINE\\" << kPolicyKeyPath << "\\" << kConsentPromptValue
            << " which is \"" << value << "\"";
  return value != 0;
}

SystemElevationFacts::SystemElevationFacts(base::OsFacts* os_facts)
    : os_facts_(os_facts ? os_facts : base::GetOsFacts()) {}

bool SystemElevationFacts::IsUserInAdminGroup() {
#if defined(TX_TEST_HOOKS)
  // Under Wine every user is an administrator; tests play one who is not.
  if (!base::TestHookValue(L"TX_TEST_NOT_ADMIN").empty())
    return false;
#endif
  return IsUserAnAdminGroup(::GetCurrentProcess());
}

base::OsVersion SystemElevationFacts::Version() {
  return os_facts_->Version();
}

bool SystemElevationFacts::IsElevated() {
  return ::IsUserAnAdmin() != FALSE;
}

bool NeedStartThisProcessAsAdmin(const base::CommandLine& command_line,
                                 ElevationFacts* facts) {
  if (!facts->IsUserInAdminGroup()) {
    LOG(INFO) << "User is not in admin group.";
    return false;
  }
  // UAC, and with it "runas" elevation, came with Vista (6.0).
  if (facts->Version().major < 6) {
    LOG(INFO) << "Windows version is not suitable for elevated restart.";
    return false;
  }
  std::string_view non_install = base::FindNonInstallSwitch(command_line);
  if (!non_install.empty()) {
    LOG(INFO) << "Found non install-switch:" << non_install;
    return false;
  }
  if (command_line.HasSwitch(sw::kRunAsAdmin)) {
    LOG(INFO) << "Run-as-admin functionality is already enabled.";
    return false;
  }
  if (command_line.HasSwitch(sw::kSilent) && !command_line.HasSwitch(sw::kUacEnabled) &&
      !facts->IsElevated()) {
    LOG(INFO) << "Elevated run is necessary but silent instalation is requested - UAC will "
                 "not be shown.";
    return false;
  }
  return true;
}

bool NeedStartThisProcessAsAdmin(const base::CommandLine& command_line) {
  SystemElevationFacts facts;
  return NeedStartThisProcessAsAdmin(command_line, &facts);
}

bool SystemShellExecute(SHELLEXECUTEINFOW* info) {
  return ::ShellExecuteExW(info) != FALSE;
}

RestartAsAdminResult RestartAsAdmin(const base::CommandLine& own_command_line,
                                    const SetupTemplateBuilder& build_setup_template,
                                    const ShellExecuteFunction& shell_execute) {
  base::CommandLine line = own_command_line;
  // This executable: whoever started it chose the command line's first word.
  line.set_program(base::GetExecutablePath());
  line.AppendSwitch(sw::kRunAsAdmin);
  line.SetSwitch(sw::kParentInstallerProcessId, base::NumberToWString(::GetCurrentProcessId()));
  line.SetSwitch(sw::kSetupCmdLine, build_setup_template(kSetupTemplateProgram).Format());
  const std::wstring parameters = ParametersOf(line);

  ScopedOwnerWindow window = CreatePromptOwnerWindow();
  // Made before the prompt: the child opens the go and cancel events by
  // name as soon as it runs.
  auto process = std::make_unique<ElevatedInstallerProcess>();

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = window.get();
  info.lpVerb = L"runas";
  info.lpFile = line.program().c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOW;
  bool started = shell_execute ? shell_execute(&info) : SystemShellExecute(&info);
  DWORD error = ::GetLastError();
  base::ScopedHandle child(started ? info.hProcess : nullptr);

  RestartAsAdminResult result;
  if (child.is_valid()) {
    process->SetProcessAndWindow(std::move(child), window.release());
    result.process = std::move(process);
    return result;
  }
  result.declined = reinterpret_cast<INT_PTR>(info.hInstApp) == SE_ERR_ACCESSDENIED;
  ELOG(ERROR, error) << "ShellExecuteExW failed";
  return result;
}

}  // namespace setup
