#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/NodeGroup.h"
#include "testing/RecordingOperator.h"

namespace core::csbtree {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kAll = CSBTreeConstants::ALL_MAPPINGS;

std::optional<SplitInfo> add(LeafGroup& group, int32_t index, int32_t key, bool parentFull,
                             LeafCarrier* carrier = nullptr) {
  return group.add(index, key, key * 10, parentFull, kMin, kMax, carrier);
}

// k_star = 1: every leaf splits at two entries. Adds `count` ascending keys from `first`,
// each into the last leaf, so the group ends with one leaf per key.
void growSequentially(LeafGroup& group, int32_t first, int32_t count) {
  for (int32_t key = first; key < first + count; ++key)
    add(group, group.getEntries().leaves() - 1, key, false);
}

TEST(LeafGroupTest, FillingALeafSplitsItInsideTheGroup) {
  GroupStore store(1, 2);
  LeafGroup group(store);
  EXPECT_FALSE(group.isEmpty());  // one leaf, though it holds nothing
  for (int32_t key : {1, 2, 3})
    ASSERT_FALSE(add(group, 0, key, false).has_value());
  std::optional<SplitInfo> info = add(group, 0, 4, false);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->leftNode, group.node());
  EXPECT_EQ(info->pivot, 3);
  EXPECT_TRUE(info->rightNode.isNull());
  EXPECT_EQ(group.getEntries().leaves(), 2);
  EXPECT_EQ(group.getEntries().size(1), 2);
  EXPECT_EQ(group.getEntries().size(2), 2);
  EXPECT_FALSE(group.isFull(0));
}

TEST(LeafGroupTest, FullParentSplitsTheGroupAndLinksTheUpperHalfIntoTheChain) {
  GroupStore store(1, 1);
  LeafGroup group(store);
  growSequentially(group, 1, 4);  // [1] [2] [3] [4]
  const int32_t id = group.identityNumber();
  ASSERT_EQ(group.getEntries().leaves(), 4);
  LeafCarrier carrier;
  std::optional<SplitInfo> info = add(group, 3, 5, true, &carrier);
  ASSERT_TRUE(info.has_value());
  ASSERT_FALSE(info->rightNode.isNull());
  const LeafGroup upper(info->rightNode);
  EXPECT_EQ(info->leftNode, group.node());
  EXPECT_EQ(group.identityNumber(), id);  // moved to a new block, still the same group
  EXPECT_NE(upper.identityNumber(), id);
  EXPECT_EQ(info->pivot, 5);
  EXPECT_EQ(group.getEntries().toString(), "1=10, 2=20, 3=30");
  EXPECT_EQ(upper.getEntries().toString(), "4=40, 5=50");
  EXPECT_EQ(upper.getEntries().leaves(), 2);
  EXPECT_EQ(group.getNextLeafGroup(), upper.node());
  EXPECT_TRUE(upper.getNextLeafGroup().isNull());
  // The carrier names the group that stored the entry: the lower one after the split.
  EXPECT_EQ(carrier.getLeaf(), group.node());

  // A second split of the same group puts its new group between this one and `upper`.
  add(group, 2, 3, false);  // [1] [2] [3] [3]
  std::optional<SplitInfo> again = add(group, 3, 3, true);
  ASSERT_TRUE(again.has_value() && !again->rightNode.isNull());
  EXPECT_EQ(again->pivot, 3);
  EXPECT_EQ(group.getNextLeafGroup(), again->rightNode);
  EXPECT_EQ(LeafGroup(again->rightNode).getNextLeafGroup(), upper.node());
  // Both ways: the old upper group links back to the new one.
  EXPECT_EQ(store.header(upper.handle())->prev, again->rightNode.handle());
}

// Three groups chained by splits: [1] [5] [5] | [5] [5] [5] | [9] [9]; the values of the
// key 5 are 50 .. 54 in stored order.
struct Chain {
  Chain() : first(store) {
    add(first, 0, 1, false);
    add(first, 0, 5, false);  // [1] [5]
    for (int32_t leaf = 1; leaf <= 3; ++leaf)
      first.add(leaf, 5, 50 + leaf, false, kMin, kMax, nullptr);
    std::optional<SplitInfo> info = first.add(4, 5, 54, true, kMin, kMax, nullptr);
    LeafGroup middle(info->rightNode);
    middle.add(2, 9, 90, false, kMin, kMax, nullptr);
    info = middle.add(3, 9, 91, true, kMin, kMax, nullptr);
  }
  GroupStore store{1, 1};
  LeafGroup first;
};

TEST(LeafGroupTest, LookupsWalkAcrossLeavesAndAlongTheChainAndEndOnce) {
  Chain chain;
  ASSERT_EQ(chain.first.getEntries().toString(), "1=10, 5=50, 5=51");
  test::RecordingOperator op;
  chain.first.get(0, 5, op);
  EXPECT_THAT(op.values, ElementsAre(50, 51, 52, 53, 54));
  EXPECT_EQ(op.endCalls, 1);
  op.reset();
  chain.first.queryRange(0, 2, 9, op);
  EXPECT_THAT(op.values, ElementsAre(50, 51, 52, 53, 54, 90, 91));
  EXPECT_EQ(op.endCalls, 1);
  op.reset();
  chain.first.queryRange(0, 6, 8, op);
  chain.first.get(0, 7, op);
  EXPECT_THAT(op.values, IsEmpty());
  EXPECT_EQ(op.endCalls, 2);
}

TEST(LeafGroupTest, RemovalOfARunWalksOnThroughTheGroupAndTheChain) {
  Chain chain;
  // Called below a separator greater than the key: only the named leaf can hold it.
  chain.first.remove(1, 5, kAll, 1, 6);
  test::RecordingOperator op;
  chain.first.get(0, 5, op);
  EXPECT_THAT(op.values, ElementsAre(51, 52, 53, 54));
  // Below a separator equal to the key the run goes on into later leaves and groups.
  chain.first.remove(2, 5, 53, 1, 5);  // a single mapping, found in the next group
  op.reset();
  chain.first.get(0, 5, op);
  EXPECT_THAT(op.values, ElementsAre(51, 52, 54));
  chain.first.remove(1, 5, kAll, 1, 5);
  op.reset();
  chain.first.queryRange(0, kMin, kMax, op);
  EXPECT_THAT(op.values, ElementsAre(10, 90, 91));
}

// A two-level arrangement: a node group of one node over a leaf group, built like a tree
// does it (k = 1: nodes of 4 keys; k_star = 1: leaves of one entry).
struct Level {
  explicit Level(std::initializer_list<int32_t> keys) : root(start(keys)) {
    for (auto it = keys.begin() + 2; it != keys.end(); ++it)
      reply = root.add(0, *it, *it * 10, parentFull, kMin, kMax, nullptr);
  }
  NodeGroup start(std::initializer_list<int32_t> keys) {
    LeafGroup leaves(store);
    auto it = keys.begin();
    leaves.add(0, *it, *it * 10, false, kMin, kMax, nullptr);
    std::optional<SplitInfo> info =
        leaves.add(0, *(it + 1), *(it + 1) * 10, false, kMin, kMax, nullptr);
    return NodeGroup(info->leftNode, info->pivot);
  }
  GroupStore store{1, 1};
  NodeGroup root;
  std::optional<SplitInfo> reply;
  bool parentFull = false;
};

TEST(NodeGroupTest, ALeafSplitBelowAFullNodeSplitsTheNodeAndReportsTheKeyThatMovedUp) {
  Level level({10, 20, 30, 40, 50});
  ASSERT_TRUE(level.root.isFull(0));
  const int32_t leaves = level.root.getEntries().getChild(0).identityNumber();
  std::optional<SplitInfo> reply = level.root.add(0, 35, 350, false, kMin, kMax, nullptr);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->leftNode, level.root.node());
  EXPECT_EQ(reply->pivot, 35);  // the new separator itself moved up
  EXPECT_TRUE(reply->rightNode.isNull());
  const NodeGroupArrayMap entries = level.root.getEntries();
  ASSERT_EQ(entries.getNumberOfNodes(), 2);
  EXPECT_EQ(entries.getChild(0).identityNumber(), leaves);  // moved, still the same group
  const std::string lower = std::to_string(leaves);
  const std::string upper = std::to_string(entries.getChild(1).identityNumber());
  EXPECT_EQ(level.root.toString(), "[" + lower + " | 20.30/ " + upper + " | 40.50/ ]");
  // The leaf group was halved along with the node: three leaves each.
  test::RecordingOperator op;
  entries.getChild(1).queryRange(0, kMin, kMax, op);
  EXPECT_THAT(op.values, ElementsAre(350, 400, 500));
}

TEST(NodeGroupTest, ASplitWhoseParentNodeIsFullSplitsTheGroupToo) {
  // Node group of three nodes under a full parent: node 1 full, its split makes four nodes,
  // and the group halves into two nodes each.
  GroupStore store(1, 1);
  NodeGroupArrayMap map(store, 3, 1);
  for (int32_t node = 0; node < 3; ++node)
    map.setChild(node, LeafGroup(store).node());
  map.put(1, 0, 0);
  map.put(2, 1, 0);
  for (int32_t key : {11, 12, 13, 14})
    map.put(key, map.keyCount(1), 1);
  map.put(21, 0, 2);
  map.put(22, 1, 2);
  NodeGroup group(map);
  const CSBTreeNode added = LeafGroup(store).node();
  SplitInfo info = group.split(15, added, true, 1);
  EXPECT_EQ(info.leftNode, group.node());
  EXPECT_EQ(info.pivot, 13);
  ASSERT_FALSE(info.rightNode.isNull());
  const NodeGroup upper(info.rightNode);
  ASSERT_EQ(group.getEntries().getNumberOfNodes(), 2);
  ASSERT_EQ(upper.getEntries().getNumberOfNodes(), 2);
  EXPECT_EQ(upper.getEntries().getChild(0), added);
  EXPECT_EQ(upper.getEntries().keyAt(0, 0), 14);
  EXPECT_EQ(upper.getEntries().keyAt(0, 1), 15);
  EXPECT_EQ(upper.getEntries().keyAt(1, 0), 21);
}

TEST(NodeGroupTest, LookupsDescendLeftOfEqualSeparatorsAndChangeNothing) {
  Level level({10, 20, 30});
  const std::string before = level.root.toString();
  test::RecordingOperator op;
  level.root.get(0, 20, op);
  level.root.queryRange(0, 20, 30, op);
  level.root.remove(0, 25, kAll, kMin, kMax);
  EXPECT_THAT(op.values, ElementsAre(200, 200, 300));
  EXPECT_EQ(op.endCalls, 2);
  EXPECT_EQ(level.root.toString(), before);
  EXPECT_FALSE(level.root.isEmpty());
  EXPECT_TRUE(NodeGroup::NULL_NODE.isEmpty());
}

}  // namespace
}  // namespace core::csbtree
