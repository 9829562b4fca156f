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
      child = pool_.newLeaf();
  }

  NodeHandle child(int i) { return children_[i].handle(); }
  std::string id(int i) { return std::to_string(children_[i].identityNumber()); }

 private:
  NodePool pool_{2, 1};
  std::array<Leaf, 5> children_;
};

TEST_F(InternalNodeArrayMapTest, RoutesKeysEqualToASeparatorRightAndReplacesOnPut) {
  InternalNodeArrayMap map(6);
  EXPECT_EQ(map.toString(), "NULL | ");
  EXPECT_EQ(map.getIntervalPosition(5), -1);
  EXPECT_EQ(map.get(5), NodePool::kNoNode);
  for (int i = 4; i >= 1; --i)
    map.put(10 * i, child(i));
  EXPECT_EQ(map.nodeAt(0), NodePool::kSentinel);  // put never sets the first child
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
  map.deleteAtPos(1);
  map.deleteAtPos(-1);
  map.put(10, child(1));
  map.put(20, child(2));
  map.put(40, child(4));
  map.put(25, child(2));  // full: refused
  EXPECT_EQ(map.toString(), id(0) + " | 10 | " + id(1) + " | 20 | " + id(2) + " | 30 | " + id(3) +
                                " | 40 | " + id(4));
  EXPECT_EQ(InternalNodeArrayMap::binarySearch(std::array{10, 20, 30}.data(), 25, 0, 2), -3);
  // The search ends at its first hit: the middle of a run, not its leftmost key.
  EXPECT_EQ(InternalNodeArrayMap::binarySearch(std::array{5, 5, 5}.data(), 5, 0, 2), 1);
  EXPECT_EQ(InternalNodeArrayMap::binarySearch(std::array{5, 5, 5}.data(), 5, 2, 1), -3);
}

TEST_F(InternalNodeArrayMapTest, SplitLeavesTheMiddleKeyToTheCaller) {
  InternalNodeArrayMap map(5);
  map.setFirstChild(child(0));
  for (int i = 1; i <= 4; ++i)
    map.put(i, child(i));
  EXPECT_EQ(map.getMidKey(), 3);
  const InternalNodeArrayMap upper = map.split();
  EXPECT_EQ(map.toString(), id(0) + " | 1 | " + id(1) + " | 2 | " + id(2));
  EXPECT_EQ(upper.toString(), id(3) + " | 4 | " + id(4));
  EXPECT_EQ(upper.capacity(), 5);
  // Five keys keep two and move two.
  map.put(3, child(3));
  map.put(4, child(4));
  map.put(5, child(0));
  EXPECT_EQ(map.split().size(), 2);
  EXPECT_EQ(map.size(), 2);
  EXPECT_EQ(InternalNodeArrayMap(4).split().toString(), "NULL | ");
}

TEST_F(InternalNodeArrayMapTest, PutAndSplitOfAFullMapLeavesWhatPuttingThenSplittingWould) {
  // Three keys 10, 20, 30 with children 0 .. 3; the fourth key goes to every place.
  for (int32_t p = 0; p <= 3; ++p) {
    SCOPED_TRACE("position " + std::to_string(p));
    InternalNodeArrayMap full(3);
    InternalNodeArrayMap roomy(4);
    for (InternalNodeArrayMap* map : {&full, &roomy}) {
      map->setFirstChild(child(0));
      for (int i = 1; i <= 3; ++i)
        map->put(10 * i, child(i));
    }
    InternalNodeArrayMap upper(3);
    const int32_t middle = full.putAndSplit(10 * p + 5, child(4), upper);
    roomy.put(10 * p + 5, child(4));
    EXPECT_EQ(middle, roomy.getMidKey());
    InternalNodeArrayMap expectedUpper(4);
    roomy.split(expectedUpper);
    EXPECT_EQ(full.toString(), roomy.toString());
    EXPECT_EQ(upper.toString(), expectedUpper.toString());
  }
}

}  // namespace
}  // namespace core::btree
