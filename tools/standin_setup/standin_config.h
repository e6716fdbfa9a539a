#ifndef TOOLS_STANDIN_SETUP_STANDIN_CONFIG_H_
#define TOOLS_STANDIN_SETUP_STANDIN_CONFIG_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// What the stand-in does, read from TX_STANDIN_* environment variables. The
// installer hands its environment to the setup process, so a test configures
// the stand-in by setting them on the installer. Defaults describe a quiet,
// successful setup that reports stages 1 to 7.
struct StandinConfig {
  std::wstring record_path;   // TX_STANDIN_RECORD; empty: "standin_cmdline.txt" beside the program.
  std::wstring log_path;      // TX_STANDIN_LOG; empty: no action log.
  std::vector<uint32_t> stages = {1, 2, 3, 4, 5, 6, 7};  // TX_STANDIN_STAGES
  DWORD step_ms = 50;                     // TX_STANDIN_STEP_MS
  bool higher_version = false;            // TX_STANDIN_HIGHER_VERSION
  bool close_window = false;              // TX_STANDIN_CLOSE_WINDOW
  DWORD setup_ms = 0;                     // TX_STANDIN_SETUP_MS
  DWORD browser_ms = 0;                   // TX_STANDIN_BROWSER_MS; 0: no browser.
  std::wstring browser_dir;               // TX_STANDIN_BROWSER_DIR; empty: see BrowserDirectory.
  std::vector<uint32_t> import_progress;  // TX_STANDIN_IMPORT_PROGRESS
  bool browser_close_window = false;      // TX_STANDIN_BROWSER_CLOSE_WINDOW
  DWORD exit_code = 0;                    // TX_STANDIN_EXIT_CODE
};

// Answers the value of a variable, or nothing when it is unset.
using EnvironmentLookup = std::function<std::optional<std::wstring>(const wchar_t* name)>;

// The process environment; an empty value counts as unset.
std::optional<std::wstring> ProcessEnvironment(const wchar_t* name);

// Reads every variable; one that is set but malformed adds a line naming it
// to `errors` and leaves its default in place.
StandinConfig ReadConfig(const EnvironmentLookup& lookup, std::vector<std::wstring>* errors);

// "-200", "600", "0xC0000005" or "4294967295": a 32-bit exit code, signed or
// unsigned, decimal or hexadecimal.
std::optional<DWORD> ParseExitCode(std::wstring_view text);

// "1,2, 3" -> {1, 2, 3}; "none" -> {}. Blanks around items are ignored.
std::optional<std::vector<uint32_t>> ParseNumberList(std::wstring_view text);

// The value of the last "--<name>=" argument of a command line split as
// CommandLineToArgvW does (the program is skipped), or nothing.
std::optional<std::wstring> FindSwitchValue(const std::vector<std::wstring>& args,
                                            std::wstring_view name);
bool HasSwitch(const std::vector<std::wstring>& args, std::wstring_view name);

// A window or handle value written in decimal, as the installer writes
// `progress-window`; nothing for anything else.
std::optional<uintptr_t> ParseHandleValue(std::wstring_view text);

}  // namespace standin

#endif  // TOOLS_STANDIN_SETUP_STANDIN_CONFIG_H_
