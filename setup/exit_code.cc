#include "setup/exit_code.h"

namespace setup {

namespace {

struct SetupCodeName {
  uint32_t code;
  const char* name;
};

constexpr SetupCodeName kSetupCodeNames[] = {
    {0, "SUCCESS_EXIT_CODE"},
    {1, "GENERIC_ERROR"},
    {101, "GENERIC_INITIALIZATION_FAILURE"},
    {105, "COMMAND_STRING_OVERFLOW"},
    {107, "WAIT_FOR_PROCESS_FAILED"},
    {108, "PATH_STRING_OVERFLOW"},
    {109, "UNABLE_TO_GET_WORK_DIRECTORY"},
    {110, "UNABLE_TO_FIND_REGISTRY_KEY"},
    {111, "PATCH_NOT_FOR_INSTALLED_VERSION"},
    {112, "UNABLE_TO_EXTRACT_CHROME_ARCHIVE"},
    {115, "UNABLE_TO_EXTRACT_SETUP_EXE"},
    {116, "UNABLE_TO_EXTRACT_SETUP"},
    {117, "UNABLE_TO_SET_DIRECTORY_ACL"},
};

}  // namespace

std::string DescribeSetupExitCode(uint32_t exit_code) {
  uint32_t code = exit_code >> 24;
  uint32_t detail = exit_code & 0xFFFFFF;
  std::string text;
  for (const SetupCodeName& entry : kSetupCodeNames) {
    if (entry.code == code) {
      text = std::string(entry.name) + "(" + std::to_string(code) + ")";
      break;
    }
  }
  if (text.empty())
    text = "Exit code: " + std::to_string(code);
  return text + "; error: " + std::to_string(detail);
}

}  // namespace setup
