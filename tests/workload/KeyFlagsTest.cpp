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
#include "workload/PointKeys.h"
#include "workload/Random.h"
#include "workload/SyntheticKeys.h"
#include "workload/Zipf.h"

namespace test {
namespace {

TEST(KeyFlagsTest, BitsAtWordBoundariesAreIndependent) {
  BitKeyFlags present(130);
  for (int32_t key : {0, 63, 64, 129})
    present.insert(key);
  present.erase(64);
  for (int32_t key = 0; key < 130; ++key)
    EXPECT_EQ(present.contains(key), key == 0 || key == 63 || key == 129) << key;
  EXPECT_EQ(BitKeyFlags::bytesFor(1'000'000'001), 125'000'008);
}

// Every rank selects the key a sorted copy holds there, across word and block boundaries and
// after erasures, and duplicate inserts and erasures of absent keys change nothing.
TEST(PresentKeySampleTest, SelectFindsTheKeyOfEveryRankAfterInsertsAndErasures) {
  constexpr int32_t kSlots = 5'000;  // not a whole number of 512-key blocks
  PresentKeySample sample(kSlots);
  std::set<int32_t> reference;
  Random rand(7);
  for (int step = 0; step < 20'000; ++step) {
    const int32_t key = rand.nextInt(kSlots);
    if (rand.nextInt(3) == 0) {
      sample.erase(key);
      reference.erase(key);
    } else {
      sample.insert(key);
      reference.insert(key);
    }
  }
  for (int32_t key : {0, 511, 512, kSlots - 1}) {
    sample.insert(key);
    reference.insert(key);
  }
  ASSERT_EQ(sample.size(), std::ssize(reference));
  int32_t rank = 0;
  for (int32_t key : reference) {
    ASSERT_TRUE(sample.contains(key));
    ASSERT_EQ(sample.select(rank), key) << "rank " << rank;
    ++rank;
  }
  EXPECT_EQ(PresentKeySample::bytesFor(1'000'000'001), 1'953'126 * (64 + 4));
}

// A point query asks for a present key as often as the ratio says, and every such key is
// present at that moment; the other queries ask for absent keys, over every distribution.
TEST(PresentKeySampleTest, HitRatioPointQueriesFindPresentKeysAtTheRatio) {
  constexpr int32_t kKeys = 20'000;
  for (KeyDistribution distribution :
       {KeyDistribution::kUniform, KeyDistribution::kZipf, KeyDistribution::kLatest}) {
    for (double ratio : {0.0, 0.3, 1.0}) {
      // Updates between the queries, so that the present keys change as the stream runs.
      struct Target : RecordingTarget {
        PresentKeySample* truth;
        int64_t hits = 0;
        void insert(int32_t key, int32_t value) {
          RecordingTarget::insert(key, value);
          truth->insert(key);
        }
        void erase(int32_t key) { truth->erase(key); }
        void pointQuery(int32_t key) {
          RecordingTarget::pointQuery(key);
          hits += truth->contains(key);
        }
      };
      PresentKeySample truth(kKeys + 1);
      Target target;
      target.truth = &truth;
      Random rand(11);
      PresentKeySample present(kKeys + 1);
      int32_t size = 0;
      withKeyChoosers(distribution, kKeys, kDefaultTheta, [&](auto& fill, auto& keys) {
        generateOperations(2'000, kInsertsOnly, KeySpace{kKeys, 10}, rand, present, size, fill,
                           target);
        generateOperations(20'000, OperationMix{0.9, 0.0, 0.5}, KeySpace{kKeys, 10}, rand, present,
                           size, keys, HitRatioPointKeys(ratio), target);
      });
      const double share = static_cast<double>(target.hits) / std::ssize(target.queried);
      const std::string_view name = distributionName(distribution);
      if (ratio == 0.0 || ratio == 1.0)
        EXPECT_EQ(share, ratio) << name;
      else
        EXPECT_NEAR(share, ratio, 0.02) << name;
    }
  }
}

}  // namespace
}  // namespace test
