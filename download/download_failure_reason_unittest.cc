#include "download/download_failure_reason.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace download {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int64_t kDayUs = 86400LL * 1000000;
constexpr int64_t kNow = 13441108944123000LL;

TEST(DownloadFailureReasonTest, SaysWhatToFixForEachKindOfFailure) {
  const CertificateDates expired{kNow - 30 * kDayUs, kNow - kDayUs};
  const CertificateDates future{kNow + kDayUs, kNow + 30 * kDayUs};
  struct {
    const char* error;
    CertificateDates certificate;
    const char* expected;
  } cases[] = {
      {"internet_open_url-12007", {}, "the name cdn.test could not be resolved"},
      {"internet_open_url-12029", {}, "the connection to cdn.test was refused"},
      {"internet_read-12002", {}, "the connection to cdn.test timed out"},
      {"internet_read-12030", {}, "broke off during the download"},
      {"internet_open_url-12045", {}, "cdn.test failed: its certificate was issued by an "
                                      "authority this computer does not trust"},
      {"internet_open_url-12037", expired, "its certificate has expired"},
      {"internet_open_url-12037", future, "is not valid yet: check this computer's date"},
      {"internet_open_url-12037", {}, "has expired or is not valid yet"},
      {"internet_open_url-12038", {}, "made out for another name"},
      {"internet_open_url-12157", {}, "the TLS handshake failed (error 12157)"},
      {"final_query_info-407-0", {}, "a proxy server asked for credentials (HTTP 407)"},
      {"final_query_info-503-12150", {}, "cdn.test answered with HTTP status 503."},
      {"write_file-112", {}, "the disk is full"},
      {"write_file-39", {}, "the disk is full"},
      {"write_file-5", {}, "could not be written (error 5)"},
      {"internet_set_file_pointer-12016", {}, "did not continue the interrupted download"},
      {"internet_read-12152", {}, "sent an answer that cannot be used"},
      {"internet_read-99", {}, "Download failed: internet_read-99."},
  };
  for (const auto& c : cases) {
    std::string line = DescribeDownloadFailure(c.error, "cdn.test", c.certificate, kNow);
    EXPECT_THAT(line, StartsWith("Download failed: ")) << c.error;
    EXPECT_THAT(line, HasSubstr(c.expected)) << c.error;
  }
}

}  // namespace
}  // namespace download
