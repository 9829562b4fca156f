#include "core/csbtree/LeafGroupArrayMap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <limits>
#include <utility>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/LeafGroup.h"
#include "testing/RecordingOperator.h"

namespace core::csbtree {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Map = LeafGroupArrayMap;
constexpr int32_t kAll = CSBTreeConstants::ALL_MAPPINGS;

// Each key k is stored with the value 10 x k.
void addAll(Map& map, int32_t leaf, std::initializer_list<int32_t> keys) {
  for (int32_t key : keys)
    ASSERT_FALSE(map.tryAdd(leaf, key, key * 10));
}

// two_k_star 4, leaves [1, 2] and [5, 6].
Map twoLeaves(GroupStore& store) {
  Map map(store);
  addAll(map, 1, {1, 2, 5, 6});
  map.split(1);
  return map;
}

TEST(LeafGroupArrayMapTest, FreshMapIsOneEmptyLeaf) {
  GroupStore store(1, 2);  // two_k_star 4
  Map map(store);
  test::RecordingOperator op;
  EXPECT_EQ(map.leaves(), 1);
  EXPECT_EQ(map.size(), 4);
  EXPECT_EQ(map.get(7, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_EQ(map.queryRange(0, 9, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_TRUE(map.remove(7, kAll));
  EXPECT_THAT(op.values, IsEmpty());

  EXPECT_FALSE(map.tryAdd(7, 70));
  EXPECT_EQ(map.keyAt(0), 7);
  EXPECT_EQ(map.endSlot(), 1);
}

TEST(LeafGroupArrayMapTest, LeafTakesEntriesUpToItsEndAndKeepsEqualKeysInInsertionOrder) {
  GroupStore store(1, 2);  // two_k_star 4
  Map map(store);
  ASSERT_FALSE(map.tryAdd(1, 5, 1));
  ASSERT_FALSE(map.tryAdd(1, 9, 2));
  ASSERT_FALSE(map.tryAdd(1, 5, 3));
  ASSERT_FALSE(map.tryAdd(1, 9, 4));  // after every key: still stored, the leaf is not full
  EXPECT_EQ(map.toString(), "5=1, 5=3, 9=2, 9=4");
  // The leaf is full now: it refuses whatever does not belong after its end.
  EXPECT_TRUE(map.tryAdd(1, 6, 5));
  EXPECT_TRUE(map.tryAdd(1, 9, 6));  // last leaf of the group
  EXPECT_EQ(map.getKeyNumber(), 4);
}

TEST(LeafGroupArrayMapTest, TwoLeafLayoutAndLookupsAcrossLeaves) {
  GroupStore store(1, 2);
  Map map = twoLeaves(store);
  EXPECT_EQ(map.leaves(), 2);
  EXPECT_EQ(map.indexOf(2, 1), 4);
  EXPECT_EQ(map.endSlot(), 6);
  EXPECT_EQ(map.getKeyNumber(), 4);
  EXPECT_EQ(map.size(), 8);
  // The leftmost search over leaf 2's entries (a leaf's keys lie apart from the others').
  EXPECT_EQ(Map::binarySearch(map.leafKeys(2), 5, 0, 1), 0);
  EXPECT_EQ(Map::binarySearch(map.leafKeys(2), 7, 0, 1), -3);
  EXPECT_EQ(map.toString(), "1=10, 2=20, 5=50, 6=60");

  test::RecordingOperator op;
  EXPECT_EQ(map.queryRange(1, 2, 5, op),
            util::LookupResult::STOP);  // unused slots 2 and 3 are skipped
  EXPECT_THAT(op.values, ElementsAre(20, 50));
  op.reset();
  EXPECT_EQ(map.get(2, 6, op), Map::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(60));
  op.reset();
  EXPECT_EQ(map.queryRange(2, 7, 9, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_EQ(map.queryRange(1, 3, 4, op), util::LookupResult::STOP);
  EXPECT_EQ(map.queryRange(1, 6, 2, op), util::LookupResult::STOP);  // reversed range
  EXPECT_THAT(op.values, IsEmpty());
  EXPECT_EQ(map.continueScan(3, 100, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(50, 60));
}

// Unused key slots hold the largest int: a leaf without unused slots, and entries whose key
// is the largest int, must still be told from them by the leaf size.
TEST(LeafGroupArrayMapTest, FullLeavesAndTheLargestKeyAreBoundedByTheLeafSize) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  test::RecordingOperator op;
  GroupStore store(1, 2);  // two_k_star 4
  Map full(store);
  addAll(full, 1, {1, 2, 3, 4});  // no unused slot after the last entry of the group
  EXPECT_EQ(full.queryRange(1, 0, 100, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(10, 20, 30, 40));
  op.reset();
  EXPECT_EQ(full.get(1, 4, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(40));
  op.reset();
  EXPECT_EQ(full.get(1, 5, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_TRUE(full.tryAdd(1, 0, 0));  // refused: it belongs inside the full leaf

  Map top(store);
  ASSERT_FALSE(top.tryAdd(1, 1, 1));
  ASSERT_FALSE(top.tryAdd(1, kMax, 2));
  ASSERT_FALSE(top.tryAdd(1, kMax, 3));
  ASSERT_FALSE(top.tryAdd(1, kMax, 4));
  top.split(1);  // [1, kMax] [kMax, kMax]
  EXPECT_EQ(top.get(1, kMax, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(2, 3, 4));
  op.reset();
  EXPECT_EQ(top.queryRange(1, 2, kMax, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(2, 3, 4));
  op.reset();
  EXPECT_EQ(top.queryRange(1, 2, kMax - 1, op), util::LookupResult::STOP);
  EXPECT_THAT(op.values, IsEmpty());
  ASSERT_FALSE(top.tryAdd(2, kMax, 6));  // after the stored mappings of kMax
  EXPECT_EQ(top.get(2, kMax, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(3, 4, 6));
  op.reset();

  // Removals leave unused slots behind that no lookup takes for entries of kMax.
  EXPECT_TRUE(top.remove(1, kMax, kAll));
  EXPECT_TRUE(top.remove(2, kMax, kAll));
  EXPECT_EQ(top.toString(), "1=1");
  EXPECT_EQ(top.endSlot(), 4);
  EXPECT_EQ(top.get(1, kMax, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  ASSERT_FALSE(top.tryAdd(1, 5, 7));
  EXPECT_EQ(top.queryRange(1, 0, kMax - 1, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_EQ(top.queryRange(1, 0, kMax, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(1, 7, 1, 7));
}

TEST(LeafGroupArrayMapTest, GetGoesOnInTheNextLeafWhenTheNamedLeafHoldsOnlySmallerKeys) {
  GroupStore store(1, 2);
  Map map = twoLeaves(store);
  test::RecordingOperator op;
  EXPECT_EQ(map.get(1, 5, op), util::LookupResult::STOP);
  EXPECT_THAT(op.values, ElementsAre(50));
  op.reset();
  EXPECT_EQ(map.get(1, 3, op), util::LookupResult::STOP);
  EXPECT_EQ(map.get(2, 9, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_THAT(op.values, IsEmpty());

  // A run that fills leaf 2 to its end and goes on past an empty leaf 3.
  GroupStore pairs(1, 1);  // two_k_star 2
  Map runs(pairs);
  addAll(runs, 1, {4, 7});
  runs.split(1);  // [4] [7]
  addAll(runs, 2, {7});
  runs.split(2);  // [4] [7] [7]
  ASSERT_TRUE(runs.remove(3, 7, kAll));
  EXPECT_EQ(runs.get(1, 7, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(70));
  EXPECT_EQ(runs.endSlot(), 4);
}

TEST(LeafGroupArrayMapTest, RemoveReportsWhetherMappingsMayLieFurtherOn) {
  GroupStore store(1, 2);
  Map map = twoLeaves(store);
  EXPECT_TRUE(map.remove(1, 2, kAll));  // the run ended at the leaf's last entry
  EXPECT_EQ(map.endSlot(), 6);
  EXPECT_TRUE(map.remove(2, 6, kAll));
  EXPECT_EQ(map.endSlot(), 5);
  EXPECT_TRUE(map.remove(2, 3, kAll));  // absent: the caller may look further on
  EXPECT_TRUE(map.remove(1, 3, kAll));  // absent, every key of leaf 1 is smaller
  EXPECT_EQ(map.toString(), "1=10, 5=50");

  GroupStore eights(1, 4);  // two_k_star 8
  Map values(eights);
  for (int32_t value : {1, 2, 1, 3})
    ASSERT_FALSE(values.tryAdd(4, value));
  ASSERT_FALSE(values.tryAdd(8, 0));
  EXPECT_FALSE(values.remove(4, 1));  // one mapping only: the first one
  EXPECT_EQ(values.toString(), "4=2, 4=1, 4=3, 8=0");
  EXPECT_FALSE(values.remove(4, 9));  // no such value, and the run ends before the leaf's end
  EXPECT_FALSE(values.remove(4, kAll));
  EXPECT_EQ(values.toString(), "8=0");
}

TEST(LeafGroupArrayMapTest, RemovingOneMappingLeavesAnEqualMappingInTheNextLeaf) {
  GroupStore store(1, 2);  // two_k_star 4
  Map map(store);
  for (auto [key, value] : {std::pair{1, 10}, {4, 7}, {4, 7}, {9, 90}})
    ASSERT_FALSE(map.tryAdd(1, key, value));
  map.split(1);  // leaves [1, 4] and [4, 9]: the run of 4 -> 7 ends the first leaf
  // Removing the mapping from the first leaf ends the removal: the leaf group walks on only
  // when more mappings may follow.
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  LeafGroup(store, map.handle()).remove(0, 4, 7, kMin, 4);
  EXPECT_EQ(map.toString(), "1=10, 4=7, 9=90");
  EXPECT_EQ(map.removeFrom(2, 4, 8), Map::Removal::kDone);
  EXPECT_EQ(map.removeFrom(2, 3, 7), Map::Removal::kKeyAbsent);
  EXPECT_EQ(map.removeFrom(1, 4, 7), Map::Removal::kMayFollow);
  EXPECT_FALSE(map.remove(2, 4, 7));
  EXPECT_EQ(map.toString(), "1=10, 9=90");
}

TEST(LeafGroupArrayMapTest, LeafSplitMovesLaterLeavesUpByOneLeaf) {
  GroupStore store(1, 2);  // two_k_star 4
  Map map(store);
  addAll(map, 1, {1, 2, 3, 4});
  map.split(1);
  EXPECT_EQ(map.size(), 8);
  EXPECT_EQ(map.endSlot(), 6);
  EXPECT_EQ(map.keyAt(map.indexOf(2, 1)), 3);

  addAll(map, 1, {0, 1});  // leaf 1 is [0, 1, 1, 2]
  map.split(1);
  EXPECT_EQ(map.leaves(), 3);
  EXPECT_EQ(map.size(1), 2);
  EXPECT_EQ(map.size(2), 2);
  EXPECT_EQ(map.size(3), 2);
  EXPECT_EQ(map.keyAt(map.indexOf(2, 1)), 1);  // the run of 1 is divided
  EXPECT_EQ(map.keyAt(map.indexOf(3, 2)), 4);
  EXPECT_EQ(map.endSlot(), 10);
  EXPECT_EQ(map.toString(), "0=0, 1=10, 1=10, 2=20, 3=30, 4=40");

  // An odd count: the leaf keeps the lower half rounded down (the tree only splits full
  // leaves, of an even count).
  Map odd(store);
  addAll(odd, 1, {1, 2, 3});
  odd.split(1);
  EXPECT_EQ(odd.size(1), 1);
  EXPECT_EQ(odd.size(2), 2);
  EXPECT_EQ(odd.keyAt(odd.indexOf(2, 1)), 2);
  EXPECT_EQ(odd.toString(), "1=10, 2=20, 3=30");
}

TEST(LeafGroupArrayMapTest, GroupSplitKeepsTheLowerLeavesRoundedUp) {
  GroupStore store(1, 1);  // two_k_star 2
  Map map(store);
  addAll(map, 1, {1, 2});
  for (int32_t leaf = 2; leaf <= 4; ++leaf) {
    map.split(leaf - 1);
    addAll(map, leaf, {leaf + 1});
  }
  map.split(4);  // five leaves [1] [2] [3] [4] [5]
  ASSERT_EQ(map.leaves(), 5);

  Map upper = map.split();
  EXPECT_EQ(map.leaves(), 3);
  EXPECT_EQ(map.size(), 6);
  EXPECT_EQ(map.toString(), "1=10, 2=20, 3=30");
  EXPECT_EQ(map.endSlot(), 5);
  EXPECT_EQ(upper.leaves(), 2);
  EXPECT_EQ(upper.toString(), "4=40, 5=50");
  EXPECT_EQ(upper.endSlot(), 3);

  Map one(store);
  Map none = one.split();
  EXPECT_EQ(one.leaves(), 1);
  EXPECT_EQ(none.leaves(), 0);
  EXPECT_EQ(none.endSlot(), 0);
}

}  // namespace
}  // namespace core::csbtree
