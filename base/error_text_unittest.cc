#include "base/error_text.h"

#include <gtest/gtest.h>

#include "base/log_capture_for_testing.h"
#include "base/logging.h"

namespace base {
namespace {

TEST(ErrorTextTest, SystemMessagesFollowTheDecimalCodeOnOneLine) {
  std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(text.rfind("2, ", 0), 0u) << text;
  EXPECT_GT(text.size(), 3u);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_NE(text.back(), ' ');
}

TEST(ErrorTextTest, UnknownCodesAreShownInLowerCaseHex) {
  EXPECT_EQ(SystemErrorText(0x2ABCDEF), "44813807, unknown error 0x2abcdef");
}

TEST(ErrorTextTest, KeepsTheCallersLastError) {
  ::SetLastError(1234);
  SystemErrorText(0x2ABCDEF);
  EXPECT_EQ(::GetLastError(), 1234u);
}

TEST(LogMessageTest, ErrorVariantJoinsTextAndErrorWithDash) {
  ScopedLogCapture log;
  ELOG(ERROR, 0x2ABCDEF) << "Cannot create file:" << L"C:\\x";
  ELOG(WARNING, 0x2ABCDEF) << "";
  ::SetLastError(0x2ABCDEF);
  PLOG(ERROR) << "CPU is not supported";
  ASSERT_EQ(log.records().size(), 3u);
  EXPECT_EQ(log.messages()[0], "Cannot create file:C:\\x - 44813807, unknown error 0x2abcdef");
  EXPECT_EQ(log.messages()[1], "44813807, unknown error 0x2abcdef");
  EXPECT_EQ(log.messages()[2], "CPU is not supported - 44813807, unknown error 0x2abcdef");
  EXPECT_EQ(log.records()[0].severity, Severity::kError);
  EXPECT_EQ(log.records()[1].severity, Severity::kWarning);
  EXPECT_STREQ(log.records()[0].function, "TestBody");
}

TEST(LogMessageTest, LoggingKeepsLastErrorAndFormatsNumbers) {
  ScopedLogCapture log;
  ::SetLastError(77);
  LOG(INFO) << "n=" << -5 << " u=" << 4294967295u << " w=" << L"\u00e9" << ' ' << 12345678901LL;
  EXPECT_EQ(::GetLastError(), 77u);
  EXPECT_EQ(log.messages()[0], "n=-5 u=4294967295 w=\xC3\xA9 12345678901");
  LOG_AS("wWinMain", INFO) << "x";
  EXPECT_STREQ(log.records()[1].function, "wWinMain");
}

}  // namespace
}  // namespace base
