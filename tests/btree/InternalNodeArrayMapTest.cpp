#include "core/btree/InternalNodeArrayMap.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <stdexcept>
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

  // A map of capacity 6 with keys 10, 20, 30, 40 and children 0 .. 4.
  void fillFourKeys(InternalNodeArrayMap& map) {
    map.setFirstChild(child(0));
    for (int i = 1; i <= 4; ++i)
      map.put(10 * i, child(i));
  }

 private:
  NodePool pool_;
  std::array<Leaf*, 6> children_;
};

TEST_F(InternalNodeArrayMapTest, IntervalPositionSendsAKeyEqualToASeparatorRight) {
  InternalNodeArrayMap map(6);
  EXPECT_EQ(map.getIntervalPosition(5), -1);
  EXPECT_EQ(map.get(5), nullptr);
  fillFourKeys(map);
  EXPECT_EQ(map.getIntervalPosition(INT32_MIN), 0);
  EXPECT_EQ(map.getIntervalPosition(10), 1);
  EXPECT_EQ(map.getIntervalPosition(29), 2);
  EXPECT_EQ(map.getIntervalPosition(40), 4);
  EXPECT_EQ(map.get(30), child(3));
}

TEST_F(InternalNodeArrayMapTest, PutKeepsTheSentinelAndReplacesTheChildOfAPresentKey) {
  InternalNodeArrayMap map(4);
  EXPECT_EQ(map.toString(), "NULL | ");
  map.put(20, child(1));
  map.put(10, child(2));
  EXPECT_EQ(map.nodeAt(0), &InternalNode::NULL_NODE);
  EXPECT_EQ(map.toString(), "NULL | 10 | " + id(2) + " | 20 | " + id(1));
  map.put(20, child(3));
  EXPECT_EQ(map.size(), 2);
  EXPECT_EQ(map.get(25), child(3));
}

TEST_F(InternalNodeArrayMapTest, EraseRemovesTheKeyAndTheChildRightOfIt) {
  InternalNodeArrayMap map(6);
  fillFourKeys(map);
  EXPECT_FALSE(map.erase(25));
  EXPECT_TRUE(map.erase(20));
  EXPECT_EQ(map.get(20), child(1));  // the left neighbour takes over the range
  EXPECT_EQ(map.toString(), id(0) + " | 10 | " + id(1) + " | 30 | " + id(3) + " | 40 | " + id(4));
  EXPECT_THROW(map.deleteAtPos(3), std::out_of_range);
}

TEST_F(InternalNodeArrayMapTest, SplitLeavesTheMiddleKeyToTheCaller) {
  InternalNodeArrayMap map(6);
  fillFourKeys(map);
  EXPECT_EQ(map.getMidKey(), 30);
  InternalNodeArrayMap upper(6);
  map.split(upper);
  EXPECT_EQ(map.toString(), id(0) + " | 10 | " + id(1) + " | 20 | " + id(2));
  EXPECT_EQ(upper.toString(), id(3) + " | 40 | " + id(4));
  EXPECT_EQ(map.toString().find("null"), std::string::npos);
}

TEST_F(InternalNodeArrayMapTest, AFullMapRefusesAnotherKey) {
  InternalNodeArrayMap map(2);
  map.put(1, child(1));
  map.put(2, child(2));
  EXPECT_THROW(map.put(3, child(3)), std::length_error);
  map.put(2, child(4));  // replacing needs no room
  EXPECT_EQ(map.get(2), child(4));
  InternalNodeArrayMap empty(2);
  InternalNodeArrayMap upper(2);
  EXPECT_THROW(empty.split(upper), std::invalid_argument);
}

}  // namespace
}  // namespace core::btree
