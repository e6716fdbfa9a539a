#ifndef INSTALLER_ENTRY_H_
#define INSTALLER_ENTRY_H_

#include <windows.h>

namespace installer {

// The installer's run sequence on the process's main thread: hardens the DLL
// search path, starts the log, takes the single-instance mutex and follows
// one road. Answers the process exit code.
int RunInstaller(HINSTANCE instance);

}  // namespace installer

#endif  // INSTALLER_ENTRY_H_
