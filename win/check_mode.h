#ifndef WIN_CHECK_MODE_H_
#define WIN_CHECK_MODE_H_

namespace base {
class CommandLine;
class OsFacts;
}  // namespace base

namespace win {

// The process was started with `check-the-interface`: probes the shell's
// default-browser interface in this process and answers the exit code, 700
// when it is usable and 701 when it is not. With `verbose-logging` every
// revision tried is logged. Installs nothing; main thread only.
int RunCheckTheInterface(const base::CommandLine& command_line, base::OsFacts* os_facts);

}  // namespace win

#endif  // WIN_CHECK_MODE_H_
