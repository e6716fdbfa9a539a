#include "installer/entry.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "base/file_util.h"
#include "base/os_facts.h"
#include "base/string_conv.h"
#include "base/test_hooks.h"
#include "diagnostics/crash_annotations.h"
#include "diagnostics/crash_reporter.h"
#include "distribution/brand_info.h"
#include "distribution/distrib_info_params.h"
#include "distribution/user_id.h"
#include "diagnostics/file_logger.h"
#include "base/logging.h"
#include "download/disk_space.h"
#include "base/registry_store.h"
#include "base/command_line.h"
#include "installer/installer.h"
#include "installer/elevated_child.h"
#include "setup/exit_code.h"
#include "base/installer_switches.h"
#include "setup/delayed_params.h"
#include "setup/elevated_installer_process.h"
#include "ui/string_table.h"
#include "installer/secure_environment.h"
#include "installer/single_instance.h"
#include "installer/ui_environment.h"
#include "win/check_mode.h"

namespace installer {

namespace {

// Every line of the run sequence reports under the process entry's name.
constexpr char kEntry[] = "wWinMain";

constexpr uint64_t kRequiredDiskSpace = 629145600;  // 600 MiB

constexpr UINT kStringInstallationCaption = 401;
constexpr UINT kStringUnableToInstall = 441;
constexpr UINT kStringNoSse2 = 435;


// Whether the sequence ends at this step, and with which code (any value,
// -1 included, is a valid exit code).
struct StepResult {
  bool exit = false;
  int code = 0;
};

StepResult ActOnSecureEnvironment(const SecureEnvironmentOutcome& outcome) {
  switch (outcome.result) {
    case SecureEnvironmentResult::kRelaunchedCopyFoundDll:
      if (outcome.copy_exit_code_unknown) {
        ELOG_AS(kEntry, WARNING, outcome.read_error)
            << "Can't read the exit code of the relaunched copy";
      }
      LOG_AS(kEntry, INFO) << "Exiting, because of insecure environment.";
      return {true, static_cast<int>(outcome.copy_exit_code)};
    case SecureEnvironmentResult::kNotSecured:
      LOG_AS(kEntry, INFO) << "Can't find secure environment.";
      return {};
    case SecureEnvironmentResult::kSecured:
      LOG_AS(kEntry, INFO) << "Runned in secure environment.";
      return {};
    case SecureEnvironmentResult::kDllBesideExecutable:
      LOG_AS(kEntry, INFO) << "Exiting, DLL files found in working directory";
      return {true, setup::ToInt(setup::ExitCode::DLL_FOUND_IN_WORKING_DIRECTORY)};
    case SecureEnvironmentResult::kRelaunchedCopyExited:
      return {true, static_cast<int>(outcome.copy_exit_code)};
  }
  return {};
}

int RunSilentRoad(const base::CommandLine& command_line, const distribution::BrandInfo& brand,
                  const distribution::DistribInfoParams& params) {
  LOG_AS(kEntry, INFO) << "Installing in silent mode.";
  InstallerEnvironment environment;
  environment.background_tasks = true;
  Installer installer(nullptr, &brand, &params, command_line, environment);
  installer.SetMakeDefault(command_line.HasSwitch(base::switches::kMakeBrowserDefaultAfterImport));
  installer.set_send_statistics(command_line.HasSwitch(base::switches::kSendStatistics) ||
                                brand.ShouldSendStatistics());
  installer.set_create_quova_shortcut(
      command_line.HasSwitch(base::switches::kCreateQuovaShortcutInTaskbar));
  installer.RunSync();
  return installer.exit_code();
}

#if defined(TX_TEST_HOOKS)
// Keeps this instance (and its mutex) alive for a while, so that tests can
// start a second instance against it.
void TestPauseBeforeExit() {
  ::Sleep(base::TestHookMilliseconds(L"TX_TEST_PAUSE_BEFORE_EXIT_MS", 0));
}

// Plays the parent installer's part of releasing an elevated child: only a
// process of this very executable file can write the shared delayed
// parameters. The child must already be waiting.
int TestReleaseElevatedChild(const base::CommandLine& command_line) {
  setup::DelayedParamsValues values;
  values.browser_arc_path = command_line.GetSwitchValue("tx-test-release-elevated-child");
  values.installer_data_path = L"C:\\installerdata";
  values.histogram_download_time = L"1234";
  values.histogram_full_time = L"5678";
  values.make_default = command_line.HasSwitch(base::switches::kMakeBrowserDefaultAfterImport);
  if (!setup::WriteDelayedParams(values))
    return 1;
  base::ScopedHandle go(::OpenEventW(EVENT_MODIFY_STATE, FALSE, setup::kElevationGoEventName));
  return go.is_valid() && ::SetEvent(go.get()) ? 0 : 1;
}

// A crash on purpose, for the tests of the crash reports: a write through a
// null pointer, which the compiler cannot see coming.
__attribute__((noinline)) void TestCrash() {
  volatile int* volatile target = nullptr;
  *target = 0x7e57;
}
#endif

}  // namespace

int RunInstaller(HINSTANCE instance, WindowRoad window_road) {
  // First of all, so that any crash from here on is reported. It loads its
  // dump writer from the system directory, whatever the search path.
  diagnostics::CrashReporter crash_reporter(&diagnostics::GetCrashAnnotations());

  base::CommandLine& command_line = base::CommandLine::ForCurrentProcess();
  base::OsFacts* os_facts = base::GetOsFacts();

  SecureEnvironmentOutcome secure = EnsureSecureEnvironment(command_line, os_facts);

  crash_reporter.SetAnnotation("ptype", "installer");

  diagnostics::InstallLogger(std::make_unique<diagnostics::FileLogger>(
      diagnostics::FileLogger::DefaultPath(), diagnostics::FileLogger::kDefaultMaxSize));
  LOG_AS(kEntry, INFO) << "-------------------------------------- Start install.";

  // Read once the search path is safe and the log has started, so that a
  // missing user ID is reported; before the check mode, whose child is the
  // process most likely to crash.
  crash_reporter.SetClientId(distribution::GetUserIdInternal());

  if (command_line.HasSwitch(base::switches::kCheckTheInterface)) {
#if defined(TX_TEST_HOOKS)
    if (command_line.HasSwitch("tx-test-crash"))
      TestCrash();
#endif
    int code = win::RunCheckTheInterface(command_line, os_facts);
    LOG_AS(kEntry, INFO)
        << "Handled non install cmd line option by win10 default browser helper, ret code: "
        << code;
    return code;
  }

  StepResult secure_step = ActOnSecureEnvironment(secure);
  if (secure_step.exit)
    return secure_step.code;

  if (command_line.HasSwitch(base::switches::kRunAsAdmin))
    return ExecuteAsAdmin(command_line);
#if defined(TX_TEST_HOOKS)
  if (command_line.HasSwitch("tx-test-release-elevated-child"))
    return TestReleaseElevatedChild(command_line);
#endif

  UiEnvironment ui_environment;
  LOG_AS(kEntry, INFO) << "Lite installer mode.";

  SingleInstanceMutex mutex;
  if (!mutex.TryAcquire()) {
    DWORD master = ReadMasterProcessId();
    LOG_AS(kEntry, INFO) << "Another installer instance is already running.";
    LOG_AS(kEntry, INFO) << "Master installer process id: " << static_cast<unsigned long>(master);
    BringProcessWindowToTop(master);
    return setup::ToInt(setup::ExitCode::ANOTHER_INSTANCE_RUNNING);
  }
  WriteMasterProcessId(::GetCurrentProcessId());
  LOG_AS(kEntry, INFO) << "Installer process id: "
                       << static_cast<unsigned long>(::GetCurrentProcessId());

  const bool silent = command_line.HasSwitch(base::switches::kSilent);
  const bool system_level = command_line.HasSwitch(base::switches::kSystemLevel);
  const std::wstring brand_name = command_line.GetSwitchValue(base::switches::kBrandName);
  // The installer key is cached before any other thread may need it.
  base::InstallerKey();

  const std::wstring temp_dir = base::GetTempDirectory();
  LOG_AS(kEntry, INFO) << "Temporary path is: " << temp_dir;

  // The distribution parameters come from the switch or from the tag stamped
  // into this executable's signature, and go to the setup as distrib_info.
  distribution::DistribInfoParams params;
  distribution::CertificateTableTagSource tag_source;
  params.CreateJsonFromDistribParams(command_line.GetSwitchValue(base::switches::kDistrInfoParams),
                                     &tag_source);
  distribution::BrandInfo brand(temp_dir);
  brand.GetInfo(base::NarrowLow8(brand_name));
  std::string language;
  if (params.Get("lang", &language))
    brand.default_language = language;
  brand.ApplyDefaults();
  params.AnnotateCrashReports(&diagnostics::GetCrashAnnotations());
  crash_reporter.SetAnnotation("brand_id", brand.brand_id);
  crash_reporter.SetAnnotation("brand_name", brand.brand_name);
  crash_reporter.SetAnnotation("default_language", brand.default_language);
#if defined(TX_TEST_HOOKS)
  if (command_line.HasSwitch("tx-test-crash"))
    TestCrash();
#endif

  if (!os_facts->HasSse2()) {
    PLOG_AS(kEntry, ERROR) << "CPU is not supported";
    if (!silent) {
      // In the installer's language, as the window would speak.
      auto text_of = [&](UINT id) { return ui::LoadUiString(instance, id, brand.language_id); };
      std::wstring text = text_of(kStringUnableToInstall) + L"\n" + text_of(kStringNoSse2);
      ::MessageBoxW(nullptr, text.c_str(),
                    text_of(kStringInstallationCaption).c_str(), MB_OK);
    }
    return setup::ToInt(setup::ExitCode::CPU_NOT_SUPPORTED);
  }

  bool enough_space = download::HasEnoughDiskSpace(system_level, kRequiredDiskSpace);

  int exit_code = silent ? RunSilentRoad(command_line, brand, params)
                         : window_road(command_line, brand, params, enough_space);
  LOG_AS(kEntry, INFO) << "Installer exit with code: " << exit_code;
#if defined(TX_TEST_HOOKS)
  TestPauseBeforeExit();
#endif
  return exit_code;
}

}  // namespace installer
