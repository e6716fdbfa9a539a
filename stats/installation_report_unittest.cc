#include "stats/installation_report.h"

#include <gtest/gtest.h>

#include "build_config.h"

namespace stats {
namespace {

const std::wstring kPrefix = std::wstring(L"https://") + TX_STORAGE_HOST +
                             L"/get/browser/install?ui=0F6A3E64-0000-4000-8000-00000000002A";

InstallationOutcome Outcome() {
  InstallationOutcome outcome;
  outcome.run_id = L"0F6A3E64-0000-4000-8000-00000000002A";
  return outcome;
}

TEST(InstallationReportTest, SuccessCarriesEveryMeasuredInterval) {
  InstallationOutcome outcome = Outcome();
  outcome.success = true;
  outcome.total_us = 61999999;
  outcome.download_us = 20000000;
  outcome.install_us = 40500000;
  EXPECT_EQ(InstallationReportUrl(outcome),
            kPrefix + L"&result=success&time=61&download_time=20&install_time=40");
}

TEST(InstallationReportTest, CancelledWinsOverTheOutcome) {
  InstallationOutcome outcome = Outcome();
  outcome.success = true;
  outcome.cancel_count = 2;
  outcome.total_us = 5000000;
  EXPECT_EQ(InstallationReportUrl(outcome), kPrefix + L"&result=cancelled&time=5");
}

TEST(InstallationReportTest, FailedSetupReportsTimeZeroAndKeepsShortIntervals) {
  InstallationOutcome outcome = Outcome();
  outcome.download_us = 500000;  // Half a second: present, as 0.
  EXPECT_EQ(InstallationReportUrl(outcome), kPrefix + L"&result=failed&time=0&download_time=0");
  outcome.download_us = 0;
  outcome.install_us = 1;
  EXPECT_EQ(InstallationReportUrl(outcome), kPrefix + L"&result=failed&time=0&install_time=0");
}

}  // namespace
}  // namespace stats
