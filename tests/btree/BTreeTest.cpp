#include "core/btree/BTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "core/btree/BTreeConstants.h"
#include "core/btree/BTreeVerifier.h"
#include "core/btree/NodePool.h"
#include "testing/RecordingOperator.h"
#include "tests/support/IngestPatterns.h"
#include "tests/support/TreeLookups.h"

namespace core::btree {
namespace {

using test::rangeOf;
using test::valuesOf;

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

std::string name(const BTreeNode& node) {
  return std::to_string(node.identityNumber());
}

std::string refusal(int32_t k, int32_t k_star) {
  try {
    BTree tree(k, k_star);
  } catch (const std::invalid_argument& error) {
    return error.what();
  }
  return "accepted";
}

TEST(BTreeTest, RefusesParametersThatCannotMakeUsableNodes) {
  const std::string k =
      "k must be between 2 and 1073741823 (2 x k children per node, counted in 32 bits), got ";
  const std::string kStar =
      "k_star must be between 1 and 1073741823 (2 x k_star entries per leaf, counted in 32 bits), "
      "got ";
  EXPECT_EQ(refusal(1, 16), k + "1");
  EXPECT_EQ(refusal(16, 0), kStar + "0");
  EXPECT_EQ(refusal(kMin, -1), k + "-2147483648");
  EXPECT_EQ(refusal(1 << 30, 1), k + "1073741824");  // 2 x k would overflow
  EXPECT_EQ(refusal(2, kMax), kStar + "2147483647");
  EXPECT_EQ(refusal(2, 1), "accepted");
  EXPECT_EQ(refusal(BTreeConstants::kMaxParameter, BTreeConstants::kMaxParameter), "accepted");
  // Parameters far beyond a cache still make a working tree.
  BTree large(1 << 20, 1 << 20);
  large.add(1, 2);
  EXPECT_THAT(valuesOf(large, 1), ElementsAre(2));
}

TEST(BTreeTest, ATreeWithoutEntriesBehavesAsEmpty) {
  BTree tree(2, 1);
  EXPECT_THAT(valuesOf(tree, 5), IsEmpty());
  EXPECT_THAT(rangeOf(tree, kMin, kMax), IsEmpty());
  tree.remove(5);
  tree.remove(5, 1);
  EXPECT_EQ(tree.toString(), "[]");
  EXPECT_EQ(tree.size(), 0);
  EXPECT_EQ(tree.getLeafCount(), 0);
  EXPECT_TRUE(std::isnan(tree.getLeafUtilization()));
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, RootLeafSplitGrowsAnInternalRoot) {
  BTree tree(2, 2);
  LeafCarrier first;
  LeafCarrier last;
  tree.add(1, 10, first);
  tree.add(2, 20);
  tree.add(3, 30);
  tree.add(4, 40, last);
  // The carrier names the leaf that took the entry, which then split and kept [1, 2].
  EXPECT_EQ(last.getLeaf(), first.getLeaf());
  EXPECT_EQ(first.getLeaf().toString(), "[1=10, 2=20]");
  const Leaf right = first.getLeaf().getNextLeaf();
  EXPECT_EQ(right.toString(), "[3=30, 4=40]");
  EXPECT_EQ(tree.toString(), "[" + name(first.getLeaf()) + " | 3 | " + name(right) + "]");
  EXPECT_EQ(tree.getLeafCount(), 2);
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, AnInternalNodeSplitsOnReachingTwiceKKeys) {
  // With k = 2 and one entry per leaf at rest, ascending keys post one separator each: the
  // root holds 3 keys, and the fourth splits it into 2 and 1 keys with the third going up.
  BTree tree(2, 1);
  for (int32_t key = 1; key <= 4; ++key)
    tree.add(key, key);
  EXPECT_THAT(tree.toString(), MatchesRegex(R"(\[-?[0-9]+( \| [234] \| -?[0-9]+){3}\])"));
  tree.add(5, 5);
  EXPECT_THAT(tree.toString(), MatchesRegex(R"(\[-?[0-9]+ \| 4 \| -?[0-9]+\])"));
  for (int32_t key = 6; key <= 12; ++key)
    tree.add(key, key);
  // Each further split of the right-most node, at 4 keys, sends its third key up.
  EXPECT_THAT(tree.toString(),
              MatchesRegex(R"(\[-?[0-9]+ \| 4 \| -?[0-9]+ \| 7 \| -?[0-9]+ \| 10 \| -?[0-9]+\])"));
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, SplitInsideRunOfEqualKeysPostsNoSeparator) {
  BTree tree(2, 2);
  for (int32_t value = 1; value <= 4; ++value)
    tree.add(5, value);
  EXPECT_EQ(tree.toString(), "[5=1, 5=2]");  // the root is still the first leaf
  EXPECT_EQ(tree.getLeafCount(), 2);
  EXPECT_THAT(valuesOf(tree, 5), ElementsAre(1, 2, 3, 4));

  // The chain-only leaf takes the larger keys and splits with a separator of its own; the
  // new root's first child is the first leaf.
  LeafCarrier carrier;
  tree.add(6, 5, carrier);
  tree.add(7, 6);
  EXPECT_EQ(carrier.getLeaf().toString(), "[5=3, 5=4]");
  EXPECT_THAT(tree.toString(), HasSubstr(" | 6 | "));
  EXPECT_THAT(valuesOf(tree, 5), ElementsAre(1, 2, 3, 4));
  EXPECT_THAT(rangeOf(tree, 5, 7), ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, RemovingARunUnlinksEmptiedChainOnlyLeavesButKeepsReferencedOnes) {
  BTree tree(2, 2);
  for (int32_t value = 1; value <= 6; ++value)
    tree.add(5, value);
  EXPECT_EQ(tree.getLeafCount(), 3);
  tree.remove(5, 2);  // only the first 5 -> 2
  tree.add(5, 2);
  EXPECT_THAT(valuesOf(tree, 5), ElementsAre(1, 3, 4, 5, 6, 2));
  tree.remove(5);
  EXPECT_THAT(valuesOf(tree, 5), IsEmpty());
  EXPECT_EQ(tree.size(), 0);
  EXPECT_EQ(tree.getLeafCount(), 1);
  EXPECT_EQ(tree.getLeafUtilization(), 0.0);
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, RemoveValueStopsAfterTheFirstLeafThatLostAnEntry) {
  BTree tree(2, 2);
  LeafCarrier first;
  tree.add(1, 7, first);
  for (int32_t key = 2; key <= 6; ++key)
    tree.add(key, key == 3 || key == 5 ? 9 : 7);
  const Leaf leaf = first.getLeaf();  // leaves [1=7, 2=7] [3=9, 4=7] [5=9, 6=7]
  ASSERT_EQ(leaf.getNextLeaf().toString(), "[3=9, 4=7]");
  leaf.removeValue(9);  // none here, so the next leaf loses its 3=9, and the walk ends
  EXPECT_THAT(rangeOf(tree, kMin, kMax), ElementsAre(7, 7, 7, 9, 7));
  leaf.removeValue(7);  // both entries of the first leaf, and nothing further on
  EXPECT_THAT(rangeOf(tree, kMin, kMax), ElementsAre(7, 9, 7));
  EXPECT_TRUE(leaf.isEmpty());
  EXPECT_FALSE(leaf.getNextLeaf().isEmpty());
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, AnEmptiedLeafTakesASmallerKeyButNotOneThatMustFollowLaterLeaves) {
  // The root leaf [1, 1] is followed by the chain-only leaf [1, 1]. Once the root leaf is
  // empty, a key below the chain-only leaf's keys goes into the root leaf.
  BTree before(2, 2);
  for (int32_t value = 101; value <= 104; ++value)
    before.add(1, value);
  before.remove(1, 101);
  before.remove(1, 102);
  LeafCarrier carrier;
  before.add(0, 7, carrier);
  EXPECT_EQ(before.toString(), "[0=7]");
  EXPECT_EQ(carrier.getLeaf().getNextLeaf().toString(), "[1=103, 1=104]");
  EXPECT_EQ(before.verify(), std::nullopt);

  // The root leaf [3, 5] is followed by the chain-only leaf [5, 5]; emptying the root leaf
  // leaves keys behind it that new entries of 5 and 7 must follow.
  BTree tree(2, 2);
  tree.add(3, 1);
  tree.add(5, 1);
  tree.add(5, 2);
  tree.add(5, 3);
  tree.remove(3, 1);
  tree.remove(5, 1);
  EXPECT_EQ(tree.toString(), "[]");  // the root leaf is empty
  tree.add(7, 7);
  tree.add(5, 4);
  tree.add(1, 9);
  EXPECT_THAT(valuesOf(tree, 5), ElementsAre(2, 3, 4));
  EXPECT_THAT(valuesOf(tree, 7), ElementsAre(7));
  EXPECT_THAT(rangeOf(tree, kMin, kMax), ElementsAre(9, 2, 3, 4, 7));
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, TheLargestKeyKeepsInsertionOrderAcrossChainOnlyLeaves) {
  // At the right edge the subtree bound is the largest key itself, so the chain walks must
  // not stop at leaves that start with it.
  BTree tree(2, 2);
  tree.add(1, 0);
  for (int32_t value = 1; value <= 7; ++value)
    tree.add(kMax, value);
  EXPECT_THAT(valuesOf(tree, kMax), ElementsAre(1, 2, 3, 4, 5, 6, 7));
  EXPECT_EQ(tree.verify(), std::nullopt);
  tree.remove(kMax, 6);
  EXPECT_THAT(valuesOf(tree, kMax), ElementsAre(1, 2, 3, 4, 5, 7));
  tree.remove(kMax);
  EXPECT_THAT(rangeOf(tree, kMin, kMax), ElementsAre(0));
  EXPECT_EQ(tree.size(), 1);
  EXPECT_EQ(tree.verify(), std::nullopt);
}

TEST(BTreeTest, UtilizationDivisorDoesNotOverflowForHugeTrees) {
  // 3 x 2^30 entries in 2^11 leaves of 2 x 2^20 slots: 2^32 slots.
  EXPECT_EQ(BTree::leafUtilizationOf(int64_t{3} << 30, 1 << 11, 1 << 20), 0.75);
  EXPECT_EQ(BTree::leafUtilizationOf(3, 2, 2), 0.375);
  EXPECT_TRUE(std::isnan(BTree::leafUtilizationOf(0, 0, 16)));
}

TEST(BTreeTest, VerifyReportsKeysOutsideTheirSubtree) {
  BTree tree(2, 2);
  LeafCarrier carrier;
  for (int32_t key = 1; key <= 4; ++key)
    tree.add(key, key * 10, carrier);
  ASSERT_EQ(tree.verify(), std::nullopt);
  // Handing the right leaf [3, 4] a key of the left subtree puts it where lookups miss it.
  carrier.getLeaf().getNextLeaf().add(0, 0, 3, kMax, nullptr);
  EXPECT_THAT(tree.verify().value_or(""), HasSubstr("below its subtree [3, 2147483648)"));
  EXPECT_THAT(valuesOf(tree, 0), IsEmpty());
}

TEST(BTreeTest, AddOnTheRootReturnsASplitOnlyWhenTheRootSplits) {
  // The tree's own steps, through the node contract: a fresh leaf is empty, each add returns
  // nothing until the leaf fills, and the root over its split splits only at 2 x k keys.
  NodePool pool(2, 1);
  BTreeNode root = pool.newLeaf();
  EXPECT_TRUE(root.isEmpty());
  EXPECT_FALSE(root.add(10, 1, kMin, kMax, nullptr));
  std::optional<SplitInfo> split = root.add(20, 2, kMin, kMax, nullptr);
  ASSERT_TRUE(split);
  root = pool.newInternalNode(root, split->pivot, split->rightNode);
  EXPECT_FALSE(root.isEmpty());
  for (int32_t key : {30, 40})
    EXPECT_FALSE(root.add(key, key / 10, kMin, kMax, nullptr)) << key;
  split = root.add(50, 5, kMin, kMax, nullptr);  // the fourth separator
  ASSERT_TRUE(split);
  EXPECT_EQ(split->leftNode, root);
  EXPECT_EQ(split->pivot, 40);
  test::RecordingOperator op;
  root.queryRange(kMin, kMax, op);
  split->rightNode.get(50, op);
  root.remove(10, BTreeConstants::ALL_MAPPINGS, kMin, kMax);
  EXPECT_THAT(op.values, ElementsAre(1, 2, 3, 4, 5, 5));
  EXPECT_EQ(op.endCalls, 2);
  EXPECT_FALSE(root.isEmpty());  // removal leaves every key and child in place
  EXPECT_TRUE(InternalNode::NULL_NODE.isEmpty());
  EXPECT_EQ(InternalNode::NULL_NODE.toString(), "[NULL | ]");
  EXPECT_THROW(InternalNode::NULL_NODE.add(1, 1, kMin, kMax, nullptr), std::logic_error);
}

TEST(BTreeTest, VerifyReportsAHeightThatDisagreesWithTheLeafDepth) {
  // Lookups take the node kinds from the recorded height; a wrong height would make them read
  // a leaf as an internal node. Built by hand: a leaf of two slots splits under a new root.
  NodePool pool(2, 1);
  const Leaf left = pool.newLeaf();
  ASSERT_FALSE(left.add(1, 10, kMin, kMax, nullptr));
  const std::optional<SplitInfo> split = left.add(5, 50, kMin, kMax, nullptr);
  ASSERT_TRUE(split);
  const NodeHandle root = pool.newInternalNode(left, split->pivot, split->rightNode).handle();
  EXPECT_EQ(BTreeVerifier(pool).check(root, left.handle(), 1, true, 0, 0), std::nullopt);
  EXPECT_EQ(BTreeVerifier(pool).check(root, left.handle(), 2, true, 0, 0).value_or(""),
            "the tree records 2 internal levels, its leaves lie at depth 1");
  EXPECT_EQ(BTreeVerifier(pool).check(left.handle(), left.handle(), 1, true, 0, 0).value_or(""),
            "the tree records 1 internal levels, its leaves lie at depth 0");
}

}  // namespace
}  // namespace core::btree

namespace core::btree {
namespace {

// In-order ingest fills the leaves under the sequential rule (31 of 32 slots at k_star 16)
// where the positional one leaves them half full; random keys keep the positional shape.
TEST(BTreeSplitPolicyTest, SequentialRuleFillsLeavesUnderInOrderIngestAndKeepsRandomShape) {
  for (test::IngestOrder order : {test::IngestOrder::kAscending, test::IngestOrder::kDescending,
                                  test::IngestOrder::kSawtooth, test::IngestOrder::kRandom}) {
    SCOPED_TRACE(test::nameOf(order));
    BTree sequential(16, 16, util::SplitPolicy::kSequential);
    BTree positional(16, 16);
    const double filled = test::utilizationAfter(sequential, order, 20000);
    const double halved = test::utilizationAfter(positional, order, 20000);
    if (order == test::IngestOrder::kRandom) {
      EXPECT_NEAR(filled, halved, 0.01);
    } else {
      EXPECT_GT(filled, 0.9);
      EXPECT_LT(halved, 0.75);
    }
    EXPECT_EQ(sequential.size(), 20000);
    EXPECT_EQ(sequential.verify(), std::nullopt);
    EXPECT_EQ(rangeOf(sequential, kMin, kMax), rangeOf(positional, kMin, kMax));
  }
}

// A run of one key counts as ascending: the full leaf keeps all its entries, the new one starts
// a chain-only leaf, and no separator goes up.
TEST(BTreeSplitPolicyTest, SequentialSplitInsideRunOfEqualKeysPostsNoSeparator) {
  BTree tree(2, 2, util::SplitPolicy::kSequential);
  for (int32_t value = 1; value <= 10; ++value)
    tree.add(5, value);
  EXPECT_EQ(tree.toString(), "[5=1, 5=2, 5=3]");  // the root is still the first leaf
  EXPECT_EQ(tree.getLeafCount(), 4);              // 3 + 3 + 3 + 1
  EXPECT_THAT(valuesOf(tree, 5), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
  tree.add(6, 11);
  tree.add(4, 12);
  EXPECT_THAT(rangeOf(tree, 4, 6), ElementsAre(12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11));
  EXPECT_EQ(tree.verify(), std::nullopt);
}

// Ascending keys split every full node at its right end: the new leaf takes only the new key
// and the right-most inner node keeps all keys but its last.
TEST(BTreeSplitPolicyTest, AscendingKeysSplitAtTheRightEdgeOnEveryLevel) {
  BTree tree(2, 2, util::SplitPolicy::kSequential);
  for (int32_t key = 1; key <= 4; ++key)
    tree.add(key, key);
  EXPECT_THAT(tree.toString(), MatchesRegex(R"(\[-?[0-9]+ \| 4 \| -?[0-9]+\])"));
  for (int32_t key = 5; key <= 13; ++key)
    tree.add(key, key);
  // Leaves [1 2 3] [4 5 6] [7 8 9] [10 11 12] [13]: the root took 4, 7 and 10 and then 13,
  // which split it into [4 7] and [13] with 10 going up.
  EXPECT_THAT(tree.toString(), MatchesRegex(R"(\[-?[0-9]+ \| 10 \| -?[0-9]+\])"));
  EXPECT_EQ(tree.getLeafCount(), 5);
  EXPECT_EQ(tree.verify(), std::nullopt);
}

}  // namespace
}  // namespace core::btree
