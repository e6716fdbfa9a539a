#include "base/installer_switches.h"

#include "base/command_line.h"

namespace base {

std::string_view FindNonInstallSwitch(const CommandLine& command_line) {
  for (std::string_view name : switches::kNonInstallSwitches) {
    if (command_line.HasSwitch(name))
      return name;
  }
  return {};
}

}  // namespace base
