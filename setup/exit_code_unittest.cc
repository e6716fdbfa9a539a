#include "setup/exit_code.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

TEST(DescribeSetupExitCodeTest, NamesKnownCodesAndSplitsTheDetail) {
  EXPECT_EQ(DescribeSetupExitCode(0), "SUCCESS_EXIT_CODE(0); error: 0");
  EXPECT_EQ(DescribeSetupExitCode((108u << 24) | 5), "PATH_STRING_OVERFLOW(108); error: 5");
  EXPECT_EQ(DescribeSetupExitCode((117u << 24) | 0xFFFFFF),
            "UNABLE_TO_SET_DIRECTORY_ACL(117); error: 16777215");
  // A small exit code has code byte 0 and the value as its detail.
  EXPECT_EQ(DescribeSetupExitCode(3), "SUCCESS_EXIT_CODE(0); error: 3");
}

TEST(DescribeSetupExitCodeTest, UnnamedCodesUseTheGenericForm) {
  EXPECT_EQ(DescribeSetupExitCode(2u << 24), "Exit code: 2; error: 0");
  EXPECT_EQ(DescribeSetupExitCode(0xFFFFFFFFu), "Exit code: 255; error: 16777215");
}

}  // namespace
}  // namespace setup
