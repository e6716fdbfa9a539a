#ifndef BASE_INSTALLER_SWITCHES_H_
#define BASE_INSTALLER_SWITCHES_H_

#include <string_view>

namespace base {

class CommandLine;

namespace switches {

// Read by the installer.
inline constexpr char kSilent[] = "silent";
inline constexpr char kSemiSilent[] = "semi-silent";
inline constexpr char kUacEnabled[] = "uac-enabled";
inline constexpr char kSystemLevel[] = "system-level";
inline constexpr char kProgramFilesInstallation[] = "program-files-installation";
inline constexpr char kBrandName[] = "brand-name";
inline constexpr char kDistrInfoParams[] = "distr-info-params";
inline constexpr char kMakeBrowserDefaultAfterImport[] = "make-browser-default-after-import";
inline constexpr char kSendStatistics[] = "send-statistics";
inline constexpr char kCreateQuovaShortcutInTaskbar[] = "create-quova-shortcut-in-taskbar";
inline constexpr char kDoNotLaunchBrowser[] = "do-not-launch-browser";
inline constexpr char kForceDeviceScaleFactor[] = "force-device-scale-factor";
inline constexpr char kCheckTheInterface[] = "check-the-interface";
inline constexpr char kDownloadX32[] = "download-x32";
inline constexpr char kDownloadX64[] = "download-x64";
inline constexpr char kRunAsAdmin[] = "run-as-admin";
inline constexpr char kSetupCmdLine[] = "setup-cmd-line";
inline constexpr char kParentInstallerProcessId[] = "parent-installer-process-id";
inline constexpr char kSpawnedInProtectedDir[] = "spawned_in_protected_dir";

// Written for the setup process.
inline constexpr char kDisableUac[] = "disable-uac";
inline constexpr char kProgressWindow[] = "progress-window";
inline constexpr char kVerboseLogging[] = "verbose-logging";
inline constexpr char kDistrInfoFile[] = "distr-info-file";
inline constexpr char kOkButtonPressedTime[] = "ok-button-pressed-time";
inline constexpr char kInstallStartTimeNoUac[] = "install-start-time-no-uac";
inline constexpr char kTheInterfaceAvailability[] = "the-interface-availability";
inline constexpr char kInstallerData[] = "installerdata";
inline constexpr char kClidsFile[] = "clids-file";
inline constexpr char kClidsSearchbandFile[] = "clids-searchband-file";
inline constexpr char kTarnixWebsiteIconFile[] = "tarnix-website-icon-file";
inline constexpr char kBrandPackage[] = "brand-package";
inline constexpr char kPartnerPackage[] = "partner-package";
inline constexpr char kOverridePartnerPackage[] = "override-partner-package";
inline constexpr char kShowUacAtBrowserStart[] = "show-uac-at-browser-start";
inline constexpr char kVariationsUpdatePath[] = "variations-update-path";
inline constexpr char kAbtUpdatePath[] = "abt-update-path";
inline constexpr char kServerConfigBundlePath[] = "server-config-bundle-path";
inline constexpr char kPreloadedWallpaperBundlePath[] = "preloaded-wallpaper-bundle-path";
inline constexpr char kSource[] = "source";
inline constexpr char kHistogramDownloadTime[] = "histogram-download-time";

inline constexpr wchar_t kSourceLite[] = L"lite";

// With any of these the installer never restarts itself elevated; they are
// meant for the setup program. Looked for in this order.
inline constexpr std::string_view kNonInstallSwitches[] = {
    "update-setup-exe",          "show-eula",        "configure-user-settings",
    "register-dev-chrome",       "register-browser-browser",
    "rename-browser-exe",        "on-os-upgrade",    "fake-rename-tarnix-internet",
    "patch",                     "reenable-autoupdates",
    "simulate-crash",            "delete-old-versions",
    "set-as-default-browser",    "set-as-default-browser-dll",
    "pttw1",                     "pwattw1",          "pttw0",
};

}  // namespace switches

// The first non-install switch present, in list order; empty when none is.
std::string_view FindNonInstallSwitch(const CommandLine& command_line);

}  // namespace base

#endif  // BASE_INSTALLER_SWITCHES_H_
