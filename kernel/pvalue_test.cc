#include "kernel/pvalue.h"

#include <gtest/gtest.h>

namespace {

// Statistics within 1e-12 of each other, relative to the larger magnitude,
// are tied; just beyond that they are ordered.
TEST(PValueTest, TieBoundIsOneTrillionthOfTheLarger) {
  for (long double s0 : {1.0L, 4.5e-3L, 3.0e4L, -8.5e9L}) {
    const long double m = s0 < 0 ? -s0 : s0;
    SCOPED_TRACE(static_cast<double>(s0));
    EXPECT_EQ(CompareStatistic(s0 + 0.99e-12L * m, s0), 0);
    EXPECT_EQ(CompareStatistic(s0 - 0.99e-12L * m, s0), 0);
    EXPECT_EQ(CompareStatistic(s0 + 1.01e-12L * m, s0), 1);
    EXPECT_EQ(CompareStatistic(s0 - 1.01e-12L * m, s0), -1);
    EXPECT_EQ(CompareStatistic(s0, s0 + 1.01e-12L * m), -1);
  }
  EXPECT_EQ(CompareStatistic(0, 0), 0);
  EXPECT_EQ(CompareStatistic(0x1p-16445L, 0), 1);
}

}  // namespace
