#include "ui/display_scale.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(DisplayScaleTest, ForcedFactorWinsUnlessZeroOrInfinite) {
  const double screen = DisplayScaleFactor(L"");
  EXPECT_GT(screen, 0.0);
  EXPECT_DOUBLE_EQ(DisplayScaleFactor(L"1.5"), 1.5);
  EXPECT_DOUBLE_EQ(DisplayScaleFactor(L"2"), 2.0);
  for (const wchar_t* ignored : {L"0", L"inf", L"1e999", L"abc", L"nan"})
    EXPECT_DOUBLE_EQ(DisplayScaleFactor(ignored), screen) << ignored;
}

}  // namespace
}  // namespace ui
