#include "base/rounding.h"

#include <cmath>

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(RoundToLongTest, AgreesWithLroundOnScaledSizesAndHalves) {
  for (double value : {0.0, 0.4, 0.5, 0.6, 1.5, 2.5, 12.49, 12.5, 137.5, -0.5, -1.5, -2.4,
                       -2.6, 96 * 1.25, 7 * 1.75, 1919.5})
    EXPECT_EQ(RoundToLong(value), std::lround(value)) << value;
}

}  // namespace
}  // namespace base
