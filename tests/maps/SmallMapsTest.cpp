#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <vector>

#include "maps/DummyMap.h"
#include "maps/StdTreeMap.h"
#include "testing/RecordingOperator.h"
#include "util/DummyIntPushOperator.h"

namespace util {
namespace {

using test::RecordingOperator;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(DummyMapTest, DoesNothingAndAlwaysReportsMinusOne) {
  DummyMap map;
  RecordingOperator op;
  EXPECT_EQ(map.size(), -1);
  map.insert(1, 2);
  map.insert(1, 3);
  map.erase(7);
  map.pointQuery(1, op);
  map.rangeQuery(INT_MIN, INT_MAX, op);
  EXPECT_EQ(map.size(), -1);
  EXPECT_THAT(op.values, IsEmpty());
  EXPECT_EQ(op.endCalls, 0);
}

TEST(DummyIntPushOperatorTest, TakesEveryCallAndKeepsNothing) {
  DummyIntPushOperator dummy;
  IntPushOperator& op = dummy;  // as the maps call it
  const std::vector<int32_t> values = {1, 2, 3};
  EXPECT_NO_THROW(op.pass(5));
  EXPECT_NO_THROW(op.pass(values));
  EXPECT_NO_THROW(op.thatsallfolks());
  EXPECT_NO_THROW(op.pass(6));  // no call order is enforced
  // No state of its own: nothing beyond the interface's dispatch pointer.
  EXPECT_EQ(sizeof(DummyIntPushOperator), sizeof(IntPushOperator));
}

TEST(StdTreeMapTest, KeepsOneValuePerKeyAndReplacesOnInsert) {
  StdTreeMap map;
  RecordingOperator op;
  EXPECT_EQ(map.size(), 0);
  map.insert(5, 1);
  map.insert(5, 2);
  EXPECT_EQ(map.size(), 1);
  map.pointQuery(5, op);
  EXPECT_THAT(op.values, ElementsAre(2));
  EXPECT_EQ(op.endCalls, 0);
}

TEST(StdTreeMapTest, AbsentKeysAndEmptyRangesMakeNoCallAtAll) {
  StdTreeMap map;
  RecordingOperator op;
  map.insert(10, 100);
  map.pointQuery(11, op);
  map.rangeQuery(11, 20, op);
  map.rangeQuery(20, 5, op);  // reversed bounds deliver nothing
  EXPECT_THAT(op.values, IsEmpty());
  EXPECT_EQ(op.endCalls, 0);
}

TEST(StdTreeMapTest, RangeQueryIsInclusiveAndAscendingUpToTheExtremeKeys) {
  StdTreeMap map;
  RecordingOperator op;
  map.insert(3, 30);
  map.insert(1, 10);
  map.insert(2, 20);
  map.rangeQuery(1, 3, op);
  EXPECT_THAT(op.values, ElementsAre(10, 20, 30));

  op.reset();
  map.rangeQuery(2, 2, op);
  EXPECT_THAT(op.values, ElementsAre(20));

  op.reset();
  map.insert(INT_MAX, 7);
  map.insert(INT_MIN, -7);
  map.rangeQuery(INT_MAX, INT_MAX, op);
  map.rangeQuery(INT_MIN, INT_MIN, op);
  EXPECT_THAT(op.values, ElementsAre(7, -7));
}

TEST(StdTreeMapTest, EraseRemovesPresentKeysAndIgnoresAbsentOnes) {
  StdTreeMap map;
  map.insert(1, 1);
  map.insert(2, 2);
  map.erase(3);
  EXPECT_EQ(map.size(), 2);
  EXPECT_GT(map.allocatedBytes(), 0);
  map.erase(1);
  EXPECT_EQ(map.size(), 1);
  RecordingOperator op;
  map.pointQuery(1, op);
  EXPECT_THAT(op.values, IsEmpty());
  map.erase(2);  // the counting allocator gives back every node's bytes
  EXPECT_EQ(map.allocatedBytes(), 0);
}

}  // namespace
}  // namespace util
