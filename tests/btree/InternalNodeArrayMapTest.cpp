#include "core/btree/InternalNodeArrayMap.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/btree/InternalNode.h"
#include "core/btree/Leaf.h"
#include "core/btree/NodePool.h"

namespace core::btree {
namespace {

// Leaves stand in for children; the map only stores them.
class InternalNodeArrayMapTest : public ::testing::Test {
 protected:
  InternalNodeArrayMapTest() {
    for (auto& child : children_)
      child = pool_.newLeaf(1);
  }

  BTreeNode* child(int i) { return children_[i]; }
  std::string id(int i) { return std::to_string(children_[i]->identityNumber()); }

 private:
  NodePool pool_;
  std::array<Leaf*, 5> children_;
};

TEST_F(InternalNodeArrayMapTest, RoutesKeysEqualToASeparatorRightAndReplacesOnPut) {
  InternalNodeArrayMap map(6);
  EXPECT_EQ(map.toString(), "NULL | ");
  EXPECT_EQ(map.getIntervalPosition(5), -1);
  EXPECT_EQ(map.get(5), nullptr);
  for (int i = 4; i >= 1; --i)
    map.put(10 * i, child(i));
  EXPECT_EQ(map.nodeAt(0), &InternalNode::NULL_NODE);  // put never sets the first child
  map.setFirstChild(child(0));
  EXPECT_EQ(map.getIntervalPosition(INT32_MIN), 0);
  EXPECT_EQ(map.getIntervalPosition(10), 1);
  EXPECT_EQ(map.getIntervalPosition(29), 2);
  EXPECT_EQ(map.getIntervalPosition(40), 4);
  map.put(30, child(0));
  EXPECT_EQ(map.size(), 4);
  EXPECT_EQ(map.get(35), child(0));
}

TEST_F(InternalNodeArrayMapTest, EraseTakesTheKeyAndTheChildRightOfIt) {
  InternalNodeArrayMap map(4);
  map.setFirstChild(child(0));
  for (int i = 1; i <= 3; ++i)
    map.put(10 * i, child(i));
  EXPECT_FALSE(map.erase(15));
  EXPECT_TRUE(map.erase(20));
  EXPECT_EQ(map.get(20), child(1));  // the left child takes over the interval
  map.deleteAtPos(0);
  EXPECT_EQ(map.toString(), id(0) + " | 30 | " + id(3));
  EXPECT_EQ(InternalNodeArrayMap::binarySearch(std::array{10, 20, 30}.data(), 25, 0, 2), -3);
}

TEST_F(InternalNodeArrayMapTest, SplitLeavesTheMiddleKeyToTheCaller) {
  InternalNodeArrayMap map(4);
  map.setFirstChild(child(0));
  for (int i = 1; i <= 4; ++i)
    map.put(10 * i, child(i));
  EXPECT_EQ(map.getMidKey(), 30);
  InternalNodeArrayMap upper(4);
  map.split(upper);
  EXPECT_EQ(map.toString(), id(0) + " | 10 | " + id(1) + " | 20 | " + id(2));
  EXPECT_EQ(upper.toString(), id(3) + " | 40 | " + id(4));
}

}  // namespace
}  // namespace core::btree
