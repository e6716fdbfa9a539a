#ifndef INSTALLER_ENTRY_H_
#define INSTALLER_ENTRY_H_

#include <windows.h>

namespace base {
class CommandLine;
}  // namespace base
namespace distribution {
class DistribInfoParams;
struct BrandInfo;
}  // namespace distribution

namespace installer {

// The window road: the installer's window (or, with too little disk space,
// the low-disk-space window) shown modally; answers the exit code. The
// window code sits above this library, so the executable hands it in.
using WindowRoad = int (*)(const base::CommandLine& command_line,
                           const distribution::BrandInfo& brand,
                           const distribution::DistribInfoParams& params, bool enough_space);

// The installer's run sequence on the process's main thread: hardens the DLL
// search path, starts the log, takes the single-instance mutex and follows
// one road. Answers the process exit code.
int RunInstaller(HINSTANCE instance, WindowRoad window_road);

}  // namespace installer

#endif  // INSTALLER_ENTRY_H_
