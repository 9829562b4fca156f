#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bench/run/LatencySampler.h"

namespace bench {
namespace {

TEST(LatencySamplerTest, NearestRankPercentiles) {
  LatencySampler sampler;
  for (int64_t i = 100; i >= 1; --i)
    sampler.add(kInsert, i);
  const LatencySummary summary = sampler.summarize(kInsert);
  EXPECT_EQ(summary.samples, 100);
  EXPECT_EQ(summary.p50Nanos, 50);
  EXPECT_EQ(summary.p99Nanos, 99);
  EXPECT_EQ(sampler.summarize(kErase).samples, 0);

  // Three samples: the median is the middle one, and the 99th percentile the largest.
  for (int64_t nanos : {30, 10, 20})
    sampler.add(kErase, nanos);
  const LatencySummary few = sampler.summarize(kErase);
  EXPECT_EQ(few.p50Nanos, 20);
  EXPECT_EQ(few.p99Nanos, 30);
}

TEST(LatencySamplerTest, ClockCostIsTakenFromPercentilesDownToZero) {
  LatencySampler sampler;
  for (int64_t nanos : {40, 10, 100})
    sampler.add(kPointQuery, nanos);
  sampler.setClockCost(25);
  const LatencySummary summary = sampler.summarize(kPointQuery);
  EXPECT_EQ(summary.p50Nanos, 15);
  EXPECT_EQ(summary.p99Nanos, 75);
  sampler.setClockCost(500);
  EXPECT_EQ(sampler.summarize(kPointQuery).p50Nanos, 0);
  // Two readings in a row differ by the clock's cost: never negative, and far below a
  // millisecond on any machine this runs on.
  const int64_t cost = clockCostNanos();
  EXPECT_GE(cost, 0);
  EXPECT_LT(cost, 1'000'000);
}

}  // namespace
}  // namespace bench
