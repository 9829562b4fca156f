// generateOperations: the seeded stream of inserts, deletes, point and range queries.
//
// Both benchmark programs drive their maps with this one loop, so that they issue the same
// operations in the same order from the same seed. For each operation the draws are made in
// a fixed order: key, then the operation kind, then (for updates) the value and insert or
// delete, or (for queries) point or range and the range length. Which keys are present is
// kept in a flat byte-per-key bitmap, so inserts only go to absent keys (probing up to ten
// slots past the drawn key, modulo maxKey + 1) and deletes only to present ones.
//
// `Target` receives the operations: insert(key, value), erase(key), pointQuery(key),
// rangeQuery(lowKey, highKey). The loop is a template so that the driver adds nothing but
// the draws and the bookkeeping to each operation.
#ifndef WORKLOAD_OPERATION_STREAM_H_
#define WORKLOAD_OPERATION_STREAM_H_

#include <algorithm>
#include <cstdint>

#include "workload/Random.h"

namespace test {

struct OperationMix {
  double queryRatio;       // share of queries; the rest are updates
  double rangeQueryRatio;  // share of range queries among the queries
  double deleteRatio;      // share of deletes among the updates
};

struct KeySpace {
  int32_t maxKey;        // keys are drawn from 0 .. maxKey - 1; ranges are capped at maxKey
  int32_t maxRangeSize;  // range lengths are drawn from 0 .. maxRangeSize - 1
};

inline constexpr int32_t kValueBase = 42'000'000;
inline constexpr int32_t kValueRange = 1'000'000;
inline constexpr int32_t kMaxInsertProbes = 10;

// `keyBitMap` has maxKey + 1 flags; `currentIndexSize` counts the set ones.
template <class Target>
void generateOperations(int32_t numberOfOperations, const OperationMix& mix, const KeySpace& space,
                        Random& rand, uint8_t* keyBitMap, int32_t& currentIndexSize,
                        Target& target) {
  const int32_t probeModulus = space.maxKey + 1;
  for (int32_t i = 0; i < numberOfOperations; ++i) {
    const int32_t key = rand.nextInt(space.maxKey);
    const double r = rand.nextDouble();
    if (r > mix.queryRatio) {
      const int32_t value = rand.nextInt(kValueRange) + kValueBase;  // drawn for deletes too
      const double r2 = rand.nextDouble();
      if (r2 > mix.deleteRatio) {
        for (int32_t j = 0; j < kMaxInsertProbes; ++j) {
          const int32_t slot = static_cast<int32_t>((int64_t{key} + j) % probeModulus);
          if (!keyBitMap[slot]) {
            target.insert(slot, value);
            keyBitMap[slot] = 1;
            ++currentIndexSize;
            break;
          }
        }
      } else if (keyBitMap[key]) {
        target.erase(key);
        keyBitMap[key] = 0;
        --currentIndexSize;
      }
    } else {
      const double r3 = rand.nextDouble();
      if (r3 > mix.rangeQueryRatio) {
        target.pointQuery(key);
      } else {
        const int32_t length = rand.nextInt(space.maxRangeSize);
        target.rangeQuery(
            key, static_cast<int32_t>(std::min<int64_t>(int64_t{key} + length, space.maxKey)));
      }
    }
  }
}

}  // namespace test

#endif  // WORKLOAD_OPERATION_STREAM_H_
