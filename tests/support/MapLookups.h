// Lookups on a peer map (any util::Map) for tests: the values pushed, after checking that
// the lookup made no thatsallfolks() call, which the peers never make.
#ifndef TESTS_SUPPORT_MAP_LOOKUPS_H_
#define TESTS_SUPPORT_MAP_LOOKUPS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "maps/Map.h"
#include "testing/RecordingOperator.h"

namespace test {

inline std::vector<int32_t> mapValuesOf(util::Map& map, int32_t key) {
  RecordingOperator op;
  map.pointQuery(key, op);
  EXPECT_EQ(op.endCalls, 0);
  return op.values;
}

inline std::vector<int32_t> mapRangeOf(util::Map& map, int32_t lowKey, int32_t highKey) {
  RecordingOperator op;
  map.rangeQuery(lowKey, highKey, op);
  EXPECT_EQ(op.endCalls, 0);
  return op.values;
}

}  // namespace test

#endif  // TESTS_SUPPORT_MAP_LOOKUPS_H_
