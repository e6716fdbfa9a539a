#ifndef SETUP_EXIT_CODE_H_
#define SETUP_EXIT_CODE_H_

#include <cstdint>
#include <string>

namespace setup {

// The installer's own process exit codes. They are a contract with callers
// and deployment tools: never renumber. A setup exit code read after a direct
// run, and the code relayed from a relaunched copy, pass through unchanged.
enum class ExitCode : int32_t {
  ELEVATED_RUN_FAILED = -1,
  ELEVATED_RUN_SUCCEEDED = 0,
  DLL_FOUND_IN_WORKING_DIRECTORY = -200,
  INSTALLATION_NOT_FINISHED = 400,
  MODULE_NOT_DOWNLOADED = 401,
  MODULE_VERIFICATION_FAILED = 402,
  NOT_ENOUGH_DISK_SPACE = 403,
  CPU_NOT_SUPPORTED = 404,
  USER_CANCELLED = 500,
  ANOTHER_INSTANCE_RUNNING = 600,
  INTERFACE_AVAILABLE = 700,
  INTERFACE_NOT_AVAILABLE = 701,
};

constexpr int32_t ToInt(ExitCode code) {
  return static_cast<int32_t>(code);
}

// Describes the setup's packed exit code (high 8 bits a code, low 24 bits a
// detail): "PATH_STRING_OVERFLOW(108); error: 5", or "Exit code: 2; error: 0"
// for a code without a name.
std::string DescribeSetupExitCode(uint32_t exit_code);

// The setup succeeded when the code in its high 8 bits is SUCCESS_EXIT_CODE;
// the low 24 bits then only say how (a fresh installation, an update, ...).
constexpr bool SetupSucceeded(uint32_t exit_code) {
  return (exit_code >> 24) == 0;
}

}  // namespace setup

#endif  // SETUP_EXIT_CODE_H_
