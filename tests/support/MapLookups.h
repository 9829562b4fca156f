// Lookups on a peer map (any util::Map) for tests: the values pushed, after checking that
// the lookup made no thatsallfolks() call, which the peers never make; and a seeded stream
// of random operations that checks every lookup and the size against the model multimap.
#ifndef TESTS_SUPPORT_MAP_LOOKUPS_H_
#define TESTS_SUPPORT_MAP_LOOKUPS_H_

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "maps/Map.h"
#include "testing/ModelMultimap.h"
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

// The keys of randomOperationsAgainstModel: few around zero and the extremes, so that keys
// collect many values and ranges span negative and positive keys.
inline const std::vector<int32_t>& modelStreamKeys() {
  static const std::vector<int32_t> keys = [] {
    std::vector<int32_t> all;
    for (int32_t key = -20; key < 20; ++key)
      all.push_back(key);
    for (int32_t key : {INT32_MIN, INT32_MIN + 1, INT32_MAX - 1, INT32_MAX})
      all.push_back(key);
    return all;
  }();
  return keys;
}

enum class ModelStep { kErase, kRange, kPoint, kInsert };

// Runs `steps` seeded operations (erases of all of a key's values, range and point lookups,
// inserts) on `map` and `model`, asserting that every lookup and the size agree; calls
// after(step, key, presentBefore) after each, for the caller's own checks.
template <class After>
void randomOperationsAgainstModel(util::Map& map, ModelMultimap& model, uint32_t seed, int steps,
                                  After&& after) {
  std::mt19937 random(seed);
  const std::vector<int32_t>& keys = modelStreamKeys();
  auto anyKey = [&] { return keys[random() % keys.size()]; };
  for (int step = 0; step < steps; ++step) {
    const int32_t key = anyKey();
    const bool present = !model.get(key).empty();
    ModelStep kind = ModelStep::kInsert;
    switch (random() % 8) {
      case 0:
        kind = ModelStep::kErase;
        map.erase(key);
        model.removeAll(key);
        break;
      case 1: {
        kind = ModelStep::kRange;
        const int32_t highKey = anyKey();
        ASSERT_EQ(mapRangeOf(map, key, highKey), model.range(key, highKey))
            << "[" << key << ", " << highKey << "]";
        break;
      }
      case 2:
        kind = ModelStep::kPoint;
        ASSERT_EQ(mapValuesOf(map, key), model.get(key)) << key;
        break;
      default: {
        const auto value = static_cast<int32_t>(random());
        map.insert(key, value);
        model.add(key, value);
      }
    }
    ASSERT_EQ(map.size(), model.size());
    after(kind, key, present);
  }
}

}  // namespace test

#endif  // TESTS_SUPPORT_MAP_LOOKUPS_H_
