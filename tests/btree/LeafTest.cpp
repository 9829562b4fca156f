#include "core/btree/Leaf.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/btree/NodePool.h"

namespace core::btree {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// A leaf of `pool` holding the keys in order, each with the value 10 x key.
Leaf leafWith(NodePool& pool, std::initializer_list<int32_t> keys) {
  const Leaf leaf = pool.newLeaf();
  for (int32_t key : keys)
    EXPECT_FALSE(leaf.add(key, 10 * key, kMin, kMax, nullptr));
  return leaf;
}

TEST(LeafTest, SplitMovesTheUpperHalfIntoANewLeafLinkedRightAfterIt) {
  NodePool pool(2, 2);  // k_star 2: a leaf holds up to 3 entries at rest
  const Leaf leaf = leafWith(pool, {1, 2, 3});
  const std::optional<SplitInfo> split = leaf.split();
  ASSERT_TRUE(split);
  EXPECT_EQ(split->leftNode.handle(), leaf.handle());
  EXPECT_EQ(split->pivot, 2);
  EXPECT_EQ(split->rightNode.handle(), leaf.getNextLeaf().handle());
  EXPECT_EQ(leaf.toString(), "[1=10]");
  EXPECT_EQ(leaf.getNextLeaf().toString(), "[2=20, 3=30]");
  // A split of the first leaf again: the new leaf goes between it and its old neighbour.
  const Leaf upper = leaf.getNextLeaf();
  ASSERT_TRUE(upper.split());
  EXPECT_EQ(upper.getNextLeaf().toString(), "[3=30]");
  EXPECT_FALSE(upper.getNextLeaf().getNextLeaf());

  // Fewer than two entries: nothing to divide, nothing changes.
  const int64_t leaves = pool.leafCount();
  EXPECT_FALSE(upper.split());
  EXPECT_FALSE(pool.newLeaf().split());
  EXPECT_EQ(pool.leafCount(), leaves + 1);
}

TEST(LeafTest, SplitInsideARunOfEqualKeysPostsNothingButLinksTheNewLeaf) {
  NodePool pool(2, 2);
  const Leaf leaf = leafWith(pool, {5, 5, 7});
  EXPECT_FALSE(leaf.split());
  EXPECT_EQ(leaf.toString(), "[5=50]");
  EXPECT_EQ(leaf.getNextLeaf().toString(), "[5=50, 7=70]");
}

TEST(LeafTest, TheEntryThatFillsALeafSplitsItIntoTwoHalvesOfKStar) {
  NodePool pool(2, 2);
  const Leaf leaf = leafWith(pool, {1, 2, 4});
  const std::optional<SplitInfo> split = leaf.add(3, 30, kMin, kMax, nullptr);
  ASSERT_TRUE(split);
  EXPECT_EQ(split->leftNode.handle(), leaf.handle());
  EXPECT_EQ(split->pivot, 3);
  EXPECT_EQ(leaf.toString(), "[1=10, 2=20]");
  EXPECT_EQ(leaf.getNextLeaf().toString(), "[3=30, 4=40]");
  // The view's capacity is 2 x k_star - 1; a full view refuses instead of overrunning.
  LeafArrayMap entries = leafWith(pool, {1, 2, 3}).getEntries();
  EXPECT_EQ(entries.capacity(), 3);
  EXPECT_TRUE(entries.tryAdd(0, 0));
  entries.addAtPos(9, 90, 3);
  EXPECT_EQ(entries.toString(), "1=10, 2=20, 3=30");
}

}  // namespace
}  // namespace core::btree
