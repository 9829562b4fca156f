// generateOperations: the seeded stream of inserts, deletes, point and range queries.
//
// Both benchmark programs drive their maps with this one loop, so that they issue the same
// operations in the same order from the same seed. For each operation the draws are made in
// a fixed order: key, then the operation kind, then (for updates) the value and insert or
// delete, or (for queries) point or range and the range length. The key chooser
// (workload/KeyChoosers.h) decides the keys: the drawn key serves queries and deletes, and
// inserts probe up to kMaxInsertProbes slots from the chooser's start for an absent key. The
// present-key flags (workload/KeyFlags.h) record which keys are present, so inserts only go to
// absent keys and deletes only to present ones.
//
// A point query asks its point-key policy (workload/PointKeys.h) for its key, after the draws
// above; the overload without one queries the drawn key and draws nothing more.
//
// `Target` receives the operations: insert(key, value), erase(key), pointQuery(key),
// rangeQuery(lowKey, highKey). The loop is a template over the target, the key flags, the
// key chooser and the point-key policy so that the driver adds nothing but the draws and the
// bookkeeping to each operation: with UniformKeys and ByteKeyFlags it is the original
// workload's loop.
#ifndef WORKLOAD_OPERATION_STREAM_H_
#define WORKLOAD_OPERATION_STREAM_H_

#include <algorithm>
#include <cstdint>

#include "workload/KeyChoosers.h"
#include "workload/PointKeys.h"
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

// `present` covers keys 0 .. keys.probeModulus() - 1; `currentIndexSize` counts its keys.
template <class Target, class KeyFlags, class Keys, class PointKeys>
void generateOperations(int32_t numberOfOperations, const OperationMix& mix, const KeySpace& space,
                        Random& rand, KeyFlags& present, int32_t& currentIndexSize, Keys& keys,
                        const PointKeys& pointKeys, Target& target) {
  const int32_t probeModulus = keys.probeModulus();
  for (int32_t i = 0; i < numberOfOperations; ++i) {
    const int32_t key = keys.draw(rand);
    const double r = rand.nextDouble();
    if (r > mix.queryRatio) {
      const int32_t value = rand.nextInt(kValueRange) + kValueBase;  // drawn for deletes too
      const double r2 = rand.nextDouble();
      if (r2 > mix.deleteRatio) {
        const int64_t start = keys.insertStart(key);
        int32_t j = 0;
        for (; j < kMaxInsertProbes; ++j) {
          const int32_t slot = static_cast<int32_t>((start + j) % probeModulus);
          if (!present.contains(slot)) {
            target.insert(slot, value);
            present.insert(slot);
            ++currentIndexSize;
            keys.inserted(slot);
            break;
          }
        }
        if (j == kMaxInsertProbes)
          keys.insertFailed();
      } else if (present.contains(key)) {
        target.erase(key);
        present.erase(key);
        --currentIndexSize;
      }
    } else {
      const double r3 = rand.nextDouble();
      if (r3 > mix.rangeQueryRatio) {
        target.pointQuery(pointKeys.pointKey(key, rand, present, keys));
      } else {
        const int32_t length = rand.nextInt(space.maxRangeSize);
        target.rangeQuery(
            key, static_cast<int32_t>(std::min<int64_t>(int64_t{key} + length, space.maxKey)));
      }
    }
  }
}

template <class Target, class KeyFlags, class Keys>
void generateOperations(int32_t numberOfOperations, const OperationMix& mix, const KeySpace& space,
                        Random& rand, KeyFlags& present, int32_t& currentIndexSize, Keys& keys,
                        Target& target) {
  generateOperations(numberOfOperations, mix, space, rand, present, currentIndexSize, keys,
                     DrawnPointKeys{}, target);
}

}  // namespace test

#endif  // WORKLOAD_OPERATION_STREAM_H_
