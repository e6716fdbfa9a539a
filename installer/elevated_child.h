#ifndef INSTALLER_ELEVATED_CHILD_H_
#define INSTALLER_ELEVATED_CHILD_H_

#include <string>

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

// The road of a process started with `run-as-admin`: waits for the parent's
// go-ahead, then runs the setup the parent prepared. Answers the exit code.
int ExecuteAsAdmin(const base::CommandLine& command_line);

}  // namespace installer

#endif  // INSTALLER_ELEVATED_CHILD_H_
