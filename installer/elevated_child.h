#ifndef INSTALLER_ELEVATED_CHILD_H_
#define INSTALLER_ELEVATED_CHILD_H_

#include <string>

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

// Names of the events through which a parent installer releases (go) or
// stops (cancel) its elevated child. The parent creates them.
inline constexpr wchar_t kElevationGoEventName[] = L"0c0f0f0d-6434-4cfd-a5e9-23e9ca4d94b6";
inline constexpr wchar_t kElevationCancelEventName[] = L"fef32d6d-67e9-4654-b314-6c72098ff5d1";

// The road of a process started with `run-as-admin`: waits for the parent's
// go-ahead, then runs the setup the parent prepared. Answers the exit code.
int ExecuteAsAdmin(const base::CommandLine& command_line);

}  // namespace installer

#endif  // INSTALLER_ELEVATED_CHILD_H_
