#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "bench/model/Statistics.h"

namespace bench {
namespace {

TEST(StatisticsTest, MannWhitneyUMatchesPublishedAndHandCountedValues) {
  // Hollander and Wolfe's example in R's wilcox.test help: W = 35, one-sided p = 0.1272.
  const UTestResult textbook = mannWhitneyU(
      {0.80, 0.83, 1.89, 1.04, 1.45, 1.38, 1.91, 1.64, 0.73, 1.46}, {1.15, 0.88, 0.90, 0.74, 1.21});
  EXPECT_TRUE(textbook.exact);
  EXPECT_EQ(textbook.u, 35);
  EXPECT_NEAR(textbook.p, 2 * 0.1272061272, 1e-9);
  // Exact and counted by hand: all of x below all of y is 1 arrangement of C(6,3) = 20, or of
  // C(8,4) = 70, on either side; interleaved 1 3 5 7 / 2 4 6 8 gives U = 6, P(U <= 6) = 24/70.
  EXPECT_NEAR(mannWhitneyU({1, 2, 3}, {4, 5, 6}).p, 2.0 / 20, 1e-12);
  EXPECT_NEAR(mannWhitneyU({5, 6, 7, 8}, {1, 2, 3, 4}).p, 2.0 / 70, 1e-12);
  EXPECT_EQ(mannWhitneyU({5, 6, 7, 8}, {1, 2, 3, 4}).u, 16);
  EXPECT_NEAR(mannWhitneyU({1, 3, 5, 7}, {2, 4, 6, 8}).p, 2 * 24.0 / 70, 1e-12);
  // Ties: normal approximation with the tie-corrected variance and continuity correction. The
  // second is the data of an R-help thread on wilcox.test (W = 485, 25 and 26 values).
  const UTestResult tied = mannWhitneyU({1, 2, 2, 3, 4}, {2, 3, 5, 6, 6, 7});
  EXPECT_FALSE(tied.exact);
  EXPECT_EQ(tied.u, 4.5);
  EXPECT_NEAR(tied.p, 0.0641466187, 1e-9);
  std::vector<double> x(25, 359),
      y = {332, 85,  359, 359, 359, 220, 231, 300, 359, 237,  359, 183, 286,
           355, 250, 105, 359, 359, 298, 359, 359, 359, 28.6, 359, 359, 128};
  x[6] = 335;
  x[21] = 303;
  const UTestResult thread = mannWhitneyU(x, y);
  EXPECT_EQ(thread.u, 485);
  EXPECT_NEAR(thread.p, 0.000259418313, 1e-12);
  EXPECT_EQ(mannWhitneyU({2, 2, 2}, {2, 2, 2}).p, 1);
  // Three against three can never reach 0.05; four against four can.
  EXPECT_NEAR(smallestPValue(3, 3), 0.1, 1e-12);
  EXPECT_NEAR(smallestPValue(4, 4), 2.0 / 70, 1e-12);
  EXPECT_EQ(smallestPValue(0, 5), 1);
}

}  // namespace
}  // namespace bench
