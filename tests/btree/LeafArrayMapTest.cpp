#include "core/btree/LeafArrayMap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/btree/BTreeConstants.h"
#include "testing/RecordingOperator.h"

namespace core::btree {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kAll = BTreeConstants::ALL_MAPPINGS;

// A map of the given capacity filled with (key, value) pairs in order.
void fill(LeafArrayMap& map, std::initializer_list<std::pair<int32_t, int32_t>> entries) {
  for (auto [key, value] : entries)
    map.addAtPos(key, value, map.size());
}

TEST(LeafArrayMapTest, TryAddPlacesDuplicatesAfterEqualKeysAndDeclinesTheEnd) {
  LeafArrayMap map(8);
  EXPECT_FALSE(map.tryAdd(5, 1));  // an empty map always takes the entry
  EXPECT_TRUE(map.tryAdd(5, 2));   // its place is after every entry: left to the leaf
  EXPECT_TRUE(map.tryAdd(9, 2));
  EXPECT_EQ(map.size(), 1);
  fill(map, {{9, 90}});
  EXPECT_FALSE(map.tryAdd(5, 2));
  EXPECT_FALSE(map.tryAdd(5, 3));
  EXPECT_FALSE(map.tryAdd(1, 10));
  EXPECT_EQ(map.toString(), "1=10, 5=1, 5=2, 5=3, 9=90");
}

TEST(LeafArrayMapTest, GetAnswersWhetherTheKeyMayContinueInTheNextLeaf) {
  test::RecordingOperator op;
  LeafArrayMap empty(4);
  EXPECT_EQ(empty.get(5, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_EQ(empty.continueGet(0, 5, op), util::LookupResult::CONTINUE_WITH_SCAN);

  LeafArrayMap map(8);
  fill(map, {{1, 10}, {4, 40}, {4, 41}, {7, 70}, {7, 71}});
  EXPECT_EQ(map.get(4, op), util::LookupResult::STOP);
  EXPECT_EQ(map.get(7, op), util::LookupResult::CONTINUE_WITH_SCAN);  // the run reaches the end
  EXPECT_EQ(map.get(3, op), util::LookupResult::STOP);
  EXPECT_EQ(map.get(8, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_THAT(op.values, ElementsAre(40, 41, 70, 71));
  EXPECT_EQ(op.endCalls, 0);  // closing the query is the leaf's job
}

TEST(LeafArrayMapTest, QueryRangeIsInclusiveAndAnswersHowToContinue) {
  test::RecordingOperator op;
  LeafArrayMap map(8);
  fill(map, {{10, 1}, {20, 2}, {30, 3}});
  EXPECT_EQ(map.queryRange(10, 20, op), util::LookupResult::STOP);
  EXPECT_THAT(op.values, ElementsAre(1, 2));
  op.reset();
  EXPECT_EQ(map.queryRange(15, INT32_MAX, op), util::LookupResult::CONTINUE_WITH_SCAN);
  EXPECT_THAT(op.values, ElementsAre(2, 3));
  op.reset();
  EXPECT_EQ(map.queryRange(31, 40, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_EQ(map.queryRange(11, 19, op), util::LookupResult::STOP);
  EXPECT_EQ(map.queryRange(25, 15, op), util::LookupResult::STOP);  // reversed
  EXPECT_EQ(map.continueScan(3, 40, op), util::LookupResult::CONTINUE_WITH_BINSEARCH);
  EXPECT_EQ(map.continueScan(4, 40, op), util::LookupResult::STOP);
  EXPECT_THAT(op.values, IsEmpty());
}

TEST(LeafArrayMapTest, RemoveDeletesOneMappingOrTheRunAndSaysWhetherToGoOn) {
  LeafArrayMap map(8);
  fill(map, {{1, 10}, {5, 7}, {5, 8}, {5, 7}, {9, 90}, {9, kAll}});
  EXPECT_FALSE(map.remove(5, 7));  // only the first of the two 5 -> 7
  EXPECT_EQ(map.toString(), "1=10, 5=8, 5=7, 9=90, 9=-2147483648");
  EXPECT_FALSE(map.remove(5, 99));  // no such value; the run ends inside the map
  EXPECT_TRUE(map.remove(9, 3));    // no such value; the run reaches the end
  EXPECT_FALSE(map.remove(5, kAll));
  EXPECT_FALSE(map.remove(3, kAll));  // absent, inside
  EXPECT_TRUE(map.remove(9, kAll));   // the whole run, which reached the end
  EXPECT_TRUE(map.remove(12, kAll));  // absent, beyond the last key
  EXPECT_EQ(map.toString(), "1=10");
  fill(map, {{2, 20}, {3, 30}});
  map.deleteAtPos(1);
  EXPECT_EQ(map.toString(), "1=10, 3=30");
}

TEST(LeafArrayMapTest, BinarySearchFindsTheLeftmostKeyOrEncodesTheInsertionPoint) {
  const int32_t a[] = {3, 5, 5, 5, 8};
  EXPECT_EQ(LeafArrayMap::binarySearch(a, 5, 0, 4), 1);
  EXPECT_EQ(LeafArrayMap::binarySearch(a, 6, 0, 4), -5);
  EXPECT_EQ(LeafArrayMap::binarySearch(a, 1, 0, 4), -1);
  EXPECT_EQ(LeafArrayMap::binarySearch(a, 5, 3, 2), -4);  // high < low
  static_assert(LeafArrayMap::STOP == util::LookupResult::STOP);
}

TEST(LeafArrayMapTest, SplitMovesTheUpperHalfAndMayDivideARun) {
  LeafArrayMap map(5);
  fill(map, {{1, 1}, {2, 2}, {2, 3}, {2, 4}, {3, 5}});
  EXPECT_EQ(map.getMidKey(), 2);  // the first key that moves
  const LeafArrayMap upper = map.split();
  EXPECT_EQ(map.toString(), "1=1, 2=2");  // an odd count leaves the larger half to the new map
  EXPECT_EQ(upper.toString(), "2=3, 2=4, 3=5");
  EXPECT_EQ(upper.capacity(), 5);
  LeafArrayMap even(4);
  fill(even, {{1, 1}, {2, 2}, {3, 3}, {4, 4}});
  EXPECT_EQ(even.split().toString(), "3=3, 4=4");
  EXPECT_EQ(even.toString(), "1=1, 2=2");
}

TEST(LeafArrayMapTest, AFullMapAndPositionsOutsideItAreRefused) {
  LeafArrayMap map(2);
  fill(map, {{1, 10}, {5, 50}});
  EXPECT_TRUE(map.tryAdd(3, 30));  // its place is inside the map, but there is no room
  map.addAtPos(3, 30, 1);
  map.addAtPos(7, 70, 2);
  map.deleteAtPos(2);
  map.deleteAtPos(-1);
  EXPECT_EQ(map.toString(), "1=10, 5=50");
  map.deleteAtPos(1);
  map.addAtPos(0, 0, -1);
  EXPECT_EQ(map.toString(), "1=10");
  test::RecordingOperator op;
  EXPECT_EQ(map.continueGet(-1, 1, op), util::LookupResult::STOP);
  EXPECT_EQ(map.continueScan(-1, 9, op), util::LookupResult::STOP);
  EXPECT_THAT(op.values, IsEmpty());
  EXPECT_THROW(LeafArrayMap(0), std::invalid_argument);
  EXPECT_THROW(LeafArrayMap(-3), std::invalid_argument);
}

TEST(LeafArrayMapTest, InsertAndSplitOfAFullMapLeavesWhatInsertingThenSplittingWould) {
  for (int32_t capacity : {1, 4, 5}) {
    for (int32_t pos = 0; pos <= capacity; ++pos) {
      SCOPED_TRACE("capacity " + std::to_string(capacity) + ", position " + std::to_string(pos));
      LeafArrayMap full(capacity);
      LeafArrayMap roomy(capacity + 1);
      for (int32_t i = 0; i < capacity; ++i) {
        full.addAtPos(10 * i, i, i);
        roomy.addAtPos(10 * i, i, i);
      }
      LeafArrayMap upper(capacity);
      full.insertAndSplit(10 * pos - 5, 99, pos, upper);
      LeafArrayMap expectedUpper(capacity + 1);
      roomy.addAtPos(10 * pos - 5, 99, pos);
      roomy.split(expectedUpper);
      EXPECT_EQ(full.toString(), roomy.toString());
      EXPECT_EQ(upper.toString(), expectedUpper.toString());
      EXPECT_EQ(full.firstKeySlot(), roomy.firstKeySlot());
    }
  }
}

}  // namespace
}  // namespace core::btree
