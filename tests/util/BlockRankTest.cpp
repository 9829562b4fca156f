// The SSE2 rank searches against the classic bisections, over blocks whose slots past the
// used keys hold stale ints of every kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "util/BlockRank.h"
#include "util/KeySearch.h"

namespace util {
namespace {

constexpr int kLines = kRankMaxLines;
constexpr int kBlockInts = kLines * kRankLineInts;

// A block of whole lines on a line boundary: a header, `count` sorted keys, stale ints.
struct alignas(64) Block {
  int32_t ints[kBlockInts];
};

// Fills `block` after `header` ints with `count` sorted keys from `keys` (with repeats) and
// stale ints after them, drawn so that some lie below, between and above the keys.
void fill(Block& block, int header, int32_t count, std::mt19937& random,
          const std::vector<int32_t>& keys) {
  std::uniform_int_distribution<size_t> pick(0, keys.size() - 1);
  for (int32_t& slot : block.ints)
    slot = keys[pick(random)];
  std::sort(block.ints + header, block.ints + header + count);
  block.ints[0] = count;  // the header's count, which no search may read as a key
}

TEST(BlockRankTest, RanksMatchTheBisectionsWhateverTheStaleSlotsHold) {
  std::mt19937 random(7);
  // Few distinct keys, so that runs of equal keys and keys equal to the searched one abound,
  // and the extremes, where a search by key + 1 or key - 1 would wrap.
  const std::vector<int32_t> keys = {INT32_MIN, INT32_MIN + 1, -5,       0, 3, 3, 3,
                                     9,         INT32_MAX - 1, INT32_MAX};
  for (int round = 0; round < 3000; ++round) {
    Block block;
    const int32_t count = static_cast<int32_t>(random() % (kBlockInts - 2 + 1));
    fill(block, 2, count, random, keys);
    const int32_t* sorted = block.ints + 2;
    for (const int32_t key : keys) {
      const auto lower = static_cast<int32_t>(lowerBound(sorted, count, key) - sorted);
      ASSERT_EQ((rankBelowByLine<2>(block.ints, count, key)), lower) << count << " " << key;
    }
    Block inner;
    const int32_t innerCount = static_cast<int32_t>(random() % (kBlockInts - 1 + 1));
    fill(inner, 1, innerCount, random, keys);
    const int32_t* innerKeys = inner.ints + 1;
    for (const int32_t key : keys) {
      const auto upper = static_cast<int32_t>(upperBound(innerKeys, innerCount, key) - innerKeys);
      // Every shape whose lines hold the keys gives the same answer.
      if (innerCount <= 2 * kRankLineInts - 1) {
        ASSERT_EQ((rankNotAbove<2, 1>(inner.ints, innerCount, key)), upper) << innerCount;
      }
      ASSERT_EQ((rankNotAbove<4, 1>(inner.ints, innerCount, key)), upper) << innerCount;
    }
  }
}

TEST(BlockRankTest, KeyLinesCoverTheHeaderAndKeysOrAskForBisection) {
  EXPECT_EQ(keyLinesFor(1, 15), 1);  // an inner node of k = 8: count and 15 keys
  EXPECT_EQ(keyLinesFor(1, 31), 2);  // k = 16
  EXPECT_EQ(keyLinesFor(1, 63), 4);  // k = 32
  EXPECT_EQ(keyLinesFor(1, 64), 0);  // past one 64-bit mask: bisected
  EXPECT_EQ(keyLinesFor(2, 31), 3);
}

}  // namespace
}  // namespace util
