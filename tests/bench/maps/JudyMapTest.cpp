#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "bench/maps/JudyMap.h"
#include "testing/ModelMultimap.h"
#include "tests/support/MapLookups.h"

namespace bench {
namespace {

using test::mapRangeOf;
using test::mapValuesOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(JudyMapTest, DuplicatesKeepInsertionOrderAndEraseRemovesEveryMapping) {
  JudyMap map;
  // The value list is exactly full at 2, 4 and 8 values: the next value must grow it, not be
  // written past its end (which AddressSanitizer reports).
  for (int32_t value = 1; value <= 9; ++value) {
    map.insert(7, value);
    map.insert(value % 2 == 0 ? INT32_MIN : INT32_MAX, -value);
  }
  EXPECT_THAT(mapValuesOf(map, 7), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9));
  EXPECT_THAT(mapValuesOf(map, INT32_MIN), ElementsAre(-2, -4, -6, -8));
  EXPECT_EQ(map.size(), 18);

  map.erase(7);
  map.erase(8);  // absent: no change
  EXPECT_THAT(mapValuesOf(map, 7), IsEmpty());
  EXPECT_EQ(map.size(), 9);
  map.insert(7, 42);  // a key erased from a list starts over with one value
  EXPECT_THAT(mapValuesOf(map, 7), ElementsAre(42));
  EXPECT_THAT(mapRangeOf(map, INT32_MIN, INT32_MAX),
              ElementsAre(-2, -4, -6, -8, 42, -1, -3, -5, -7, -9));
}

TEST(JudyMapTest, RandomOperationsMatchTheModelAndBytesReturnToZeroWhenEmptied) {
  JudyMap map;
  test::ModelMultimap model;
  test::randomOperationsAgainstModel(map, model, 7, 20000, [](test::ModelStep, int32_t, bool) {});
  EXPECT_GT(map.allocatedBytes(), 0);
  for (int32_t key : test::modelStreamKeys())
    map.erase(key);
  EXPECT_EQ(map.size(), 0);
  EXPECT_EQ(map.allocatedBytes(), 0);
}

}  // namespace
}  // namespace bench
