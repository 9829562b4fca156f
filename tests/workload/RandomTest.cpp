#include "workload/Random.h"

#include <gtest/gtest.h>

namespace test {
namespace {

// Reference values of the 48-bit generator for known seeds.
TEST(RandomTest, Seed42InterleavesIntsAndDoublesLikeTheReference) {
  Random rand(42);
  EXPECT_EQ(rand.nextInt(10000000), 2431130);
  EXPECT_DOUBLE_EQ(rand.nextDouble(), 0.05466526274716077);
  EXPECT_EQ(rand.nextInt(10000000), 2948884);
  EXPECT_DOUBLE_EQ(rand.nextDouble(), 0.30871945533265976);
  EXPECT_EQ(rand.nextInt(10000000), 5021505);
  EXPECT_DOUBLE_EQ(rand.nextDouble(), 0.7077105889551186);
}

TEST(RandomTest, SmallBoundsPowerOfTwoBoundsAndTheRejectionLoop) {
  Random small(42);
  for (int32_t expected : {130, 763, 248, 884, 970})
    EXPECT_EQ(small.nextInt(1000), expected);

  Random powerOfTwo(42);
  for (int32_t expected : {745, 55, 699})
    EXPECT_EQ(powerOfTwo.nextInt(1024), expected);

  Random large(42);
  for (int32_t expected : {117392763, 1467211248, 102948884, 662969970, 595021505}) {
    EXPECT_EQ(large.nextInt(1500000000), expected);
  }
}

TEST(RandomTest, NegativeSeed) {
  Random rand(-7);
  EXPECT_EQ(rand.nextInt(10000000), 7934662);
  EXPECT_EQ(rand.nextDouble(), 0.9014975826916275);
}

TEST(RandomTest, DoublesAreExactAndInUnitInterval) {
  Random rand(42);
  EXPECT_EQ(rand.nextInt(10000000), 2431130);
  EXPECT_EQ(rand.nextDouble(), 0.05466526274716077);  // bit-exact, not just close
  for (int i = 0; i < 10000; ++i) {
    const double d = rand.nextDouble();
    ASSERT_GE(d, 0.0);
    ASSERT_LT(d, 1.0);
  }
}

}  // namespace
}  // namespace test
