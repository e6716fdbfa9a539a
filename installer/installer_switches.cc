#include "installer/installer_switches.h"

#include "installer/command_line.h"

namespace installer {

std::string_view FindNonInstallSwitch(const CommandLine& command_line) {
  for (std::string_view name : switches::kNonInstallSwitches) {
    if (command_line.HasSwitch(name))
      return name;
  }
  return {};
}

}  // namespace installer
