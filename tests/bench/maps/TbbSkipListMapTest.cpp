#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "bench/maps/TbbSkipListMap.h"
#include "testing/ModelMultimap.h"
#include "tests/support/MapLookups.h"

namespace bench {
namespace {

using test::mapRangeOf;
using test::mapValuesOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(TbbSkipListMapTest, EqualKeysKeepInsertionOrderAndEraseRemovesOnlyThatKey) {
  TbbSkipListMap map;
  // Equal keys interleaved with their neighbours and the extremes, so that a new entry
  // has to be linked after every entry of its key, not before or among them.
  for (int32_t value = 1; value <= 6; ++value) {
    map.insert(7, value);
    map.insert(value % 2 == 0 ? 6 : 8, -value);
    map.insert(value % 2 == 0 ? INT32_MIN : INT32_MAX, 100 + value);
  }
  EXPECT_THAT(mapValuesOf(map, 7), ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_THAT(mapValuesOf(map, 6), ElementsAre(-2, -4, -6));
  EXPECT_EQ(map.size(), 18);

  map.erase(7);
  map.erase(9);  // absent: no change
  EXPECT_THAT(mapValuesOf(map, 7), IsEmpty());
  EXPECT_THAT(mapValuesOf(map, 6), ElementsAre(-2, -4, -6));
  EXPECT_THAT(mapValuesOf(map, 8), ElementsAre(-1, -3, -5));
  EXPECT_EQ(map.size(), 12);
  map.insert(7, 42);  // an erased key starts over
  map.insert(7, 43);
  EXPECT_THAT(mapValuesOf(map, 7), ElementsAre(42, 43));

  // Both bounds are inclusive, at the extremes too; a reversed range delivers nothing.
  EXPECT_THAT(mapRangeOf(map, 6, 7), ElementsAre(-2, -4, -6, 42, 43));
  EXPECT_THAT(mapRangeOf(map, 7, 7), ElementsAre(42, 43));
  EXPECT_THAT(mapRangeOf(map, INT32_MIN, 5), ElementsAre(102, 104, 106));
  EXPECT_THAT(mapRangeOf(map, 9, INT32_MAX), ElementsAre(101, 103, 105));
  EXPECT_THAT(mapRangeOf(map, 8, 6), IsEmpty());
  EXPECT_THAT(mapRangeOf(map, INT32_MAX, INT32_MIN), IsEmpty());
}

TEST(TbbSkipListMapTest, AllocatedBytesFollowEveryEntryAndFallBackToTheHeadWhenEmptied) {
  TbbSkipListMap map;
  EXPECT_EQ(map.allocatedBytes(), 0);
  // The first insert also allocates the head node, which stays until the map is destroyed.
  map.insert(0, 0);
  map.erase(0);
  const int64_t emptyBytes = map.allocatedBytes();
  EXPECT_GT(emptyBytes, 0);

  test::ModelMultimap model;
  int64_t bytesBefore = map.allocatedBytes();
  test::randomOperationsAgainstModel(map, model, 11, 20000,
                                     [&](test::ModelStep step, int32_t key, bool present) {
                                       // Every insert takes a node and every erased entry gives its
                                       // node back; lookups and the erase of an absent key change
                                       // nothing.
                                       const int64_t bytes = map.allocatedBytes();
                                       if (step == test::ModelStep::kInsert)
                                         ASSERT_GT(bytes, bytesBefore) << key;
                                       else if (step == test::ModelStep::kErase && present)
                                         ASSERT_LT(bytes, bytesBefore) << key;
                                       else
                                         ASSERT_EQ(bytes, bytesBefore) << key;
                                       bytesBefore = bytes;
                                     });
  for (int32_t key : test::modelStreamKeys())
    map.erase(key);
  EXPECT_EQ(map.size(), 0);
  EXPECT_THAT(mapRangeOf(map, INT32_MIN, INT32_MAX), IsEmpty());
  EXPECT_EQ(map.allocatedBytes(), emptyBytes);
}

}  // namespace
}  // namespace bench
