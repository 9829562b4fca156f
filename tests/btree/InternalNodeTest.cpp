#include "core/btree/InternalNode.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/btree/Leaf.h"
#include "core/btree/NodePool.h"

namespace core::btree {
namespace {

// A node of level 1 over leaves c0 .. c_n with the keys 10, 20, ... between them.
class InternalNodeTest : public ::testing::Test {
 protected:
  InternalNode nodeWithKeys(int n) {
    const InternalNode node = pool_.newInternalNode(1);
    InternalNodeArrayMap entries = node.getEntries();
    entries.setFirstChild(child(0));
    for (int i = 1; i <= n; ++i)
      entries.put(10 * i, child(i));
    return node;
  }
  NodeHandle child(int i) {
    if (!children_[i])
      children_[i] = pool_.newLeaf();
    return children_[i].handle();
  }
  std::string id(int i) { return std::to_string(children_[i].identityNumber()); }

  NodePool pool_{3, 1};  // internal capacity 5
  std::array<Leaf, 6> children_;
};

TEST_F(InternalNodeTest, SplitSendsTheMiddleKeyUpAndMovesTheKeysAboveIt) {
  const InternalNode node = nodeWithKeys(5);
  const std::optional<SplitInfo> split = node.split();
  ASSERT_TRUE(split);
  EXPECT_EQ(split->leftNode.handle(), node.handle());
  EXPECT_EQ(split->pivot, 30);
  EXPECT_EQ(split->rightNode.level(), 1);
  EXPECT_EQ(node.toString(), "[" + id(0) + " | 10 | " + id(1) + " | 20 | " + id(2) + "]");
  const InternalNode right(&pool_, split->rightNode.handle(), 1);
  EXPECT_EQ(right.toString(), "[" + id(3) + " | 40 | " + id(4) + " | 50 | " + id(5) + "]");
}

TEST_F(InternalNodeTest, SplitRefusesANodeThatWouldLeaveASideWithoutKeys) {
  const InternalNode node = nodeWithKeys(2);
  const int64_t nodes = pool_.internalNodeCount();
  EXPECT_FALSE(node.split());
  EXPECT_FALSE(InternalNode::NULL_NODE.split());
  EXPECT_EQ(node.getEntries().size(), 2);
  EXPECT_EQ(pool_.internalNodeCount(), nodes);
}

TEST(InternalNodeAbsorbTest, AFourthKeyFromAChildSplitsANodeOfKTwoIntoTwoAndOne) {
  NodePool pool(2, 1);  // internal capacity 3
  const InternalNode node = pool.newInternalNode(1);
  InternalNodeArrayMap entries = node.getEntries();
  entries.setFirstChild(pool.newLeaf().handle());
  for (int32_t key : {10, 20, 40})
    entries.put(key, pool.newLeaf().handle());
  const Leaf posted = pool.newLeaf();
  const std::optional<SplitInfo> split = node.absorb(SplitInfo(posted, 30, posted));
  ASSERT_TRUE(split);
  EXPECT_EQ(split->leftNode.handle(), node.handle());
  EXPECT_EQ(split->pivot, 30);  // the third of 10, 20, 30, 40
  EXPECT_EQ(node.getEntries().size(), 2);
  EXPECT_EQ(InternalNode(&pool, split->rightNode.handle(), 1).getEntries().size(), 1);
  // The posted child is the first child of the new node, right of the pivot.
  EXPECT_EQ(InternalNode(&pool, split->rightNode.handle(), 1).getEntries().nodeAt(0),
            posted.handle());
}

}  // namespace
}  // namespace core::btree
