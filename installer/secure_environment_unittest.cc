#include "installer/secure_environment.h"

#include <gtest/gtest.h>

namespace installer {
namespace {

// The first process relays what its relaunched copy ended with; a code it
// could not read must never pass for a success.
TEST(RelaunchedCopyOutcomeTest, UnreadableExitCodeIsAnUnfinishedInstallation) {
  SecureEnvironmentOutcome unknown = RelaunchedCopyOutcome(false, 0, ERROR_INVALID_HANDLE);
  EXPECT_EQ(unknown.result, SecureEnvironmentResult::kRelaunchedCopyFoundDll);
  EXPECT_EQ(static_cast<int32_t>(unknown.copy_exit_code), 400);
  EXPECT_TRUE(unknown.copy_exit_code_unknown);
  EXPECT_EQ(unknown.read_error, static_cast<DWORD>(ERROR_INVALID_HANDLE));

  SecureEnvironmentOutcome dll = RelaunchedCopyOutcome(true, static_cast<DWORD>(-200), 0);
  EXPECT_EQ(dll.result, SecureEnvironmentResult::kRelaunchedCopyFoundDll);
  EXPECT_EQ(static_cast<int32_t>(dll.copy_exit_code), -200);
  EXPECT_FALSE(dll.copy_exit_code_unknown);

  for (DWORD code : {0ul, 401ul, 0xFFFFFFFFul}) {
    SecureEnvironmentOutcome relayed = RelaunchedCopyOutcome(true, code, 0);
    EXPECT_EQ(relayed.result, SecureEnvironmentResult::kRelaunchedCopyExited) << code;
    EXPECT_EQ(relayed.copy_exit_code, code);
  }
}

}  // namespace
}  // namespace installer
