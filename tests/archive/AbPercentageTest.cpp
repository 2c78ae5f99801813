// The progress of a member's data: rounded to the nearest percent, ties to
// even, as both the stored copy and the Deflate input report it.
#include <gtest/gtest.h>

#include "zip/engine/AbUtils.h"

namespace {

TEST(RoundedPercentage, TiesGoToTheEvenPercent) {
  EXPECT_EQ(ab::RoundedPercentage(1, 8), 12);  // 12.5
  EXPECT_EQ(ab::RoundedPercentage(3, 8), 38);  // 37.5
  EXPECT_EQ(ab::RoundedPercentage(1, 40), 2);  // 2.5
  EXPECT_EQ(ab::RoundedPercentage(3, 40), 8);  // 7.5
  EXPECT_EQ(ab::RoundedPercentage(1, 3), 33);
  EXPECT_EQ(ab::RoundedPercentage(2, 3), 67);
  EXPECT_EQ(ab::RoundedPercentage(1, 201), 0);      // 0.497...
  EXPECT_EQ(ab::RoundedPercentage(199, 200), 100);  // 99.5
}

TEST(RoundedPercentage, EmptyTotalsAndOvershootsAndLargeSizes) {
  EXPECT_EQ(ab::RoundedPercentage(5, 0), 0);
  EXPECT_EQ(ab::RoundedPercentage(0, -1), 0);
  EXPECT_EQ(ab::RoundedPercentage(7, 5), 140);
  const int64_t fourGigabytes = int64_t{1} << 32;
  EXPECT_EQ(ab::RoundedPercentage(fourGigabytes / 2, fourGigabytes), 50);
  EXPECT_EQ(ab::RoundedPercentage(fourGigabytes * 3, fourGigabytes), 300);
}

}  // namespace
