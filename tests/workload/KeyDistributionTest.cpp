#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/support/RecordingTarget.h"
#include "workload/KeyChoosers.h"
#include "workload/KeyFile.h"
#include "workload/KeyFlags.h"
#include "workload/OperationStream.h"
#include "workload/SyntheticKeys.h"
#include "workload/Zipf.h"

namespace test {
namespace {

// Present-key flags for key spaces too large to allocate in a test.
struct SparseKeyFlags {
  bool contains(int32_t key) const { return keys.count(key) != 0; }
  void insert(int32_t key) { keys.insert(key); }
  void erase(int32_t key) { keys.erase(key); }
  std::set<int32_t> keys;
};

// UniformKeys' insert rules with a fixed drawn key.
struct FixedKey : UniformKeys {
  FixedKey(int32_t maxKey, int32_t key) : UniformKeys(maxKey), key(key) {}
  int32_t draw(Random&) const { return key; }
  int32_t key;
};

// The fill and measured runs of `distribution` over a small key space, as text.
std::vector<std::string> runDistribution(KeyDistribution distribution, int64_t seed) {
  constexpr int32_t kKeys = 5000;
  Random rand(seed);
  BitKeyFlags present(kKeys + 1);
  int32_t size = 0;
  RecordingTarget target;
  withKeyChoosers(distribution, kKeys, 0.8, [&](auto& fillKeys, auto& keys) {
    generateOperations(500, OperationMix{0.0, 0.5, 0.0}, KeySpace{kKeys, 100}, rand, present, size,
                       fillKeys, target);
    generateOperations(3000, kMixed, KeySpace{kKeys, 100}, rand, present, size, keys, target);
  });
  return target.log;
}

TEST(KeyDistributionTest, EachDistributionIsAFunctionOfTheSeed) {
  for (KeyDistribution distribution :
       {KeyDistribution::kUniform, KeyDistribution::kZipf, KeyDistribution::kLatest}) {
    SCOPED_TRACE(std::string(distributionName(distribution)));
    const std::vector<std::string> first = runDistribution(distribution, 42);
    EXPECT_EQ(first, runDistribution(distribution, 42));
    EXPECT_NE(first, runDistribution(distribution, 43));
  }
  EXPECT_NE(runDistribution(KeyDistribution::kUniform, 42),
            runDistribution(KeyDistribution::kZipf, 42));
}

TEST(KeyDistributionTest, EveryDistributionsInsertsReachEverySlotAndNoOther) {
  // Slots 0 .. maxKey: a key space of one holds two keys, a key file of n keys n keys.
  for (const int32_t maxKey : {1, 2, 1000}) {
    for (KeyDistribution distribution :
         {KeyDistribution::kUniform, KeyDistribution::kZipf, KeyDistribution::kLatest}) {
      SCOPED_TRACE(std::string(distributionName(distribution)) + " " + std::to_string(maxKey));
      Random rand(42);
      BitKeyFlags present(int64_t{maxKey} + 1);
      int32_t size = 0;
      RecordingTarget target;
      withKeyChoosers(distribution, maxKey, kMinTheta, [&](auto&, auto& keys) {
        generateOperations(100 * (maxKey + 1), kInsertsOnly, KeySpace{maxKey, 10}, rand, present,
                           size, keys, target);
      });
      EXPECT_EQ(std::set<int32_t>(target.inserted.begin(), target.inserted.end()).size(),
                static_cast<size_t>(maxKey) + 1);
      EXPECT_EQ(*std::max_element(target.inserted.begin(), target.inserted.end()), maxKey);
      EXPECT_EQ(size, maxKey + 1);
    }
  }
}

TEST(ZipfianRanksTest, ZetaAgreesWithTheExactSumAndTheAsymptoticForm) {
  for (double theta : {kMinTheta, 0.5, kMaxTheta}) {
    long double exact = 0;
    int64_t summed = 0;
    for (int64_t n : {int64_t{1}, ZipfianRanks::kDirectTerms, ZipfianRanks::kDirectTerms + 1,
                      int64_t{3000}, int64_t{200'000}}) {
      while (summed < n) {
        ++summed;
        exact += std::pow(static_cast<long double>(summed), -static_cast<long double>(theta));
      }
      EXPECT_NEAR(ZipfianRanks::zeta(n, theta) / exact, 1.0, 1e-13) << theta << " " << n;
    }
  }
  // For theta 1/2: zeta(n) = 2 sqrt(n) + zeta_Riemann(1/2) + 1 / (2 sqrt(n)) + O(n^-1.5).
  const double n = 2147483647.0;
  EXPECT_NEAR(ZipfianRanks::zeta(2147483647, 0.5),
              2.0 * std::sqrt(n) - 1.4603545088095868 + 0.5 / std::sqrt(n), 1e-9);
}

TEST(ZipfianRanksTest, HottestKeysGetTheirSharesAndNeighbouringRanksAreSpread) {
  constexpr int32_t kKeys = 1'000'000;
  constexpr int kDraws = 1'000'000;
  for (double theta : {0.5, kMaxTheta}) {
    SCOPED_TRACE(theta);
    const ZipfKeys keys(kKeys, theta);
    const ZipfianRanks ranks(kKeys, theta);
    Random rand(7);
    std::vector<int32_t> hits(kKeys, 0);
    for (int i = 0; i < kDraws; ++i)
      ++hits[keys.draw(rand)];
    // Ranks 0 and 1 have exact shares 1 / zeta(n) and 2^-theta / zeta(n); allow 5 sigma.
    for (int32_t rank : {0, 1}) {
      const double expected = std::pow(rank + 1.0, -theta) / ranks.zetaN();
      const double share = static_cast<double>(hits[KeyScrambler(kKeys)(rank)]) / kDraws;
      EXPECT_NEAR(share, expected, 5 * std::sqrt(expected / kDraws)) << "rank " << rank;
    }
    EXPECT_EQ(std::max_element(hits.begin(), hits.end()) - hits.begin(), keys.hottestKey());

    // The first hundred ranks land in every quarter of the key space.
    int quarters[4] = {};
    for (int32_t rank = 0; rank < 100; ++rank)
      ++quarters[KeyScrambler(kKeys)(rank) / (kKeys / 4)];
    for (int count : quarters)
      EXPECT_GT(count, 10);
  }
  // The closed form approximates the ranks beyond 1: the mass below rank k stays close.
  const ZipfianRanks ranks(kKeys, kMaxTheta);
  Random rand(11);
  std::vector<int32_t> drawn(kDraws);
  for (int32_t& rank : drawn)
    rank = ranks.rank(rand.nextDouble());
  for (int32_t k : {10, 1000, 100000}) {
    const double below = static_cast<double>(std::count_if(drawn.begin(), drawn.end(),
                                                           [k](int32_t r) { return r < k; })) /
                         kDraws;
    EXPECT_NEAR(below, ZipfianRanks::zeta(k, kMaxTheta) / ranks.zetaN(), 0.015) << k;
  }
}

TEST(ZipfianRanksTest, RanksStayInRangeAndUnsupportedParametersAreRefused) {
  for (int32_t n : {1, 2, 3, 1000}) {
    const ZipfianRanks ranks(n, kMaxTheta);
    for (double u : {0.0, 0.5, std::nextafter(1.0, 0.0)}) {
      EXPECT_GE(ranks.rank(u), 0);
      EXPECT_LT(ranks.rank(u), n);
    }
  }
  for (double theta : {0.0, kMinTheta / 2, 1.0, 1.5, std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW(ZipfianRanks(100, theta), std::invalid_argument) << theta;
  EXPECT_THROW(ZipfianRanks(0, 0.5), std::invalid_argument);
  // A key space whose probe slots would not fit an int32.
  EXPECT_THROW(UniformKeys(0), std::invalid_argument);
  EXPECT_THROW(LatestKeys(std::numeric_limits<int32_t>::max(), 0.5), std::invalid_argument);
}

TEST(KeyScramblerTest, IsABijectionOfTheKeySpace) {
  for (int32_t n : {1, 2, 3, 7, 64, 1000, 1025, 65537}) {
    const KeyScrambler scramble(n);
    std::vector<bool> seen(n, false);
    for (int32_t x = 0; x < n; ++x) {
      const int32_t y = scramble(x);
      ASSERT_GE(y, 0);
      ASSERT_LT(y, n);
      ASSERT_FALSE(seen[y]) << "n " << n << " x " << x;
      seen[y] = true;
    }
  }
}

TEST(KeyScramblerTest, FirstOutputsStayTheSameForAPowerOfTwoAndTheDefaultKeySpace) {
  // Any other bijection would pass the test above, yet change every zipf result.
  const std::vector<std::pair<int32_t, std::vector<int32_t>>> pins = {
      {2048, {518, 1910, 190, 1314, 542, 359}},  // 11 bits, halves of 5 and 6, no walk
      {10'000'000, {3585798, 8213302, 6651222, 3846896, 8681524, 822350}}};
  for (const auto& [n, outputs] : pins) {
    const KeyScrambler scramble(n);
    for (int32_t x = 0; x < static_cast<int32_t>(outputs.size()); ++x)
      EXPECT_EQ(scramble(x), outputs[x]) << "n " << n << " x " << x;
  }
}

TEST(LatestKeysTest, InsertsAscendWrapAndMovePastAFullStretch) {
  constexpr int32_t kKeys = 100;  // slots 0 .. 100
  Random rand(42);
  BitKeyFlags present(kKeys + 1);
  int32_t size = 0;
  LatestKeys keys(kKeys, kMaxTheta);
  RecordingTarget target;
  generateOperations(95, kInsertsOnly, KeySpace{kKeys, 10}, rand, present, size, keys, target);
  for (int32_t i = 0; i < 95; ++i)
    ASSERT_EQ(target.inserted[i], i);

  for (int32_t key : {0, 1, 2, 20, 40})
    present.erase(key);
  size -= 5;
  generateOperations(11, kInsertsOnly, KeySpace{kKeys, 10}, rand, present, size, keys, target);
  // 95 .. 100 (the top slot too), wrap to 0 .. 2; the next insert finds 3 .. 12 taken, so the
  // one after probes from 13 and takes 20.
  const std::vector<int32_t> after(target.inserted.begin() + 95, target.inserted.end());
  EXPECT_EQ(after, (std::vector<int32_t>{95, 96, 97, 98, 99, 100, 0, 1, 2, 20}));
  EXPECT_EQ(size, 100);
  EXPECT_EQ(keys.newest(), 20);

  // Queries favour the newest key.
  generateOperations(2000, kPointsOnly, KeySpace{kKeys, 10}, rand, present, size, keys, target);
  std::vector<int> hits(kKeys + 1, 0);
  for (int32_t key : target.queried)
    ++hits[key];
  EXPECT_EQ(std::max_element(hits.begin(), hits.end()) - hits.begin(), 20);
  EXPECT_GT(hits[19], hits[50]);
}

TEST(OperationStreamTest, ProbesAndRangesWrapOrStopAtTheTopOfTheKeySpace) {
  for (int32_t maxKey : {10, std::numeric_limits<int32_t>::max() - 1}) {
    SCOPED_TRACE(maxKey);
    Random rand(42);
    SparseKeyFlags present;
    present.keys = {maxKey - 2, maxKey - 1, maxKey};
    int32_t size = 3;
    FixedKey keys(maxKey, maxKey - 2);
    RecordingTarget target;
    // Slots maxKey - 2 .. maxKey are taken: the probe wraps (modulo maxKey + 1) to 0.
    generateOperations(2, kInsertsOnly, KeySpace{maxKey, 1000}, rand, present, size, keys, target);
    EXPECT_EQ(target.inserted, (std::vector<int32_t>{0, 1}));
    // Ranges from maxKey - 2 are capped at maxKey itself.
    generateOperations(50, kRangesOnly, KeySpace{maxKey, 1000}, rand, present, size, keys, target);
    bool reachedTop = false;
    for (const auto& [low, high] : target.ranges) {
      EXPECT_EQ(low, maxKey - 2);
      EXPECT_GE(high, low);
      EXPECT_LE(high, maxKey);
      reachedTop = reachedTop || high == maxKey;
    }
    EXPECT_TRUE(reachedTop);

    // Latest ingest at the top wraps (modulo maxKey + 1) past the taken 0 and 1 to 2.
    LatestKeys latest(maxKey, kMaxTheta);
    latest.inserted(maxKey - 3);
    generateOperations(2, kInsertsOnly, KeySpace{maxKey, 1000}, rand, present, size, latest,
                       target);
    EXPECT_EQ(std::vector<int32_t>(target.inserted.end() - 2, target.inserted.end()),
              (std::vector<int32_t>{2, 3}));
  }
}

}  // namespace
}  // namespace test
