#include "core/csbtree/CountingSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace core::csbtree {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// Short runs are counted (four keys at a time, then one by one), long ones bisected; every
// length around the boundaries must give what the standard searches give, for keys with
// duplicates, the extreme ints, and probes below, on and above every key.
TEST(CountingSearchTest, BothSearchesAgreeWithTheStandardOnesForEveryRunLength) {
  std::mt19937 random(7);
  std::vector<int32_t> lengths;
  for (int32_t n = 0; n <= kLinearSearchMax + 9; ++n)
    lengths.push_back(n);
  lengths.insert(lengths.end(), {127, 128, 129, 300});
  for (int32_t n : lengths) {
    for (int32_t round = 0; round < 4; ++round) {
      std::vector<int32_t> run(static_cast<size_t>(n));
      for (int32_t& key : run) {
        const int32_t pick = std::uniform_int_distribution<int32_t>(0, 9)(random);
        key = pick == 0   ? kMin
              : pick == 1 ? kMax
                          : std::uniform_int_distribution<int32_t>(-8, 8)(random);
      }
      std::sort(run.begin(), run.end());
      std::vector<int32_t> probes = {kMin, kMin + 1, kMax - 1, kMax};
      for (int32_t key : run) {
        probes.push_back(key);
        if (key != kMin)
          probes.push_back(key - 1);
        if (key != kMax)
          probes.push_back(key + 1);
      }
      const int32_t* first = run.data();
      for (int32_t probe : probes) {
        SCOPED_TRACE(::testing::Message() << "n " << n << ", round " << round << ", key " << probe);
        EXPECT_EQ(countedLowerBound(first, n, probe) - first,
                  std::lower_bound(run.begin(), run.end(), probe) - run.begin());
        EXPECT_EQ(countedUpperBound(first, n, probe) - first,
                  std::upper_bound(run.begin(), run.end(), probe) - run.begin());
      }
    }
  }
}

// The B+-tree's leaves search with the leftmost search over a part of their keys.
TEST(CountingSearchTest, LeftmostSearchFindsTheFirstEqualKeyOrEncodesTheInsertionPoint) {
  const std::vector<int32_t> a{3, 5, 5, 5, 8};
  EXPECT_EQ(util::leftmostSearch(a.data(), 5, 0, 4), 1);
  EXPECT_EQ(util::leftmostSearch(a.data(), 5, 2, 4), 2);  // the range starts inside the run
  EXPECT_EQ(util::leftmostSearch(a.data(), 6, 0, 4), -5);
  EXPECT_EQ(util::leftmostSearch(a.data(), 1, 0, 4), -1);
  EXPECT_EQ(util::leftmostSearch(a.data(), 9, 0, 4), -6);
  EXPECT_EQ(util::leftmostSearch(a.data(), 5, 3, 2), -4);  // empty range: -(low) - 1
}

}  // namespace
}  // namespace core::csbtree
