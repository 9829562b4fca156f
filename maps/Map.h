// Map: the contract behind which every benchmarked map sits.
//
// Keys and values are signed 32-bit integers, sizes signed 64-bit. Queries push their
// results into a caller-supplied IntPushOperator instead of returning them. Whether a key
// may hold several values is up to the implementation: the tree maps keep every inserted
// pair (erase removes all mappings of the key), StdTreeMap keeps one value per key.
//
// Not thread-safe.
#ifndef UTIL_MAP_H_
#define UTIL_MAP_H_

#include <cstdint>

#include "util/IntPushOperator.h"

namespace util {

class Map {
 public:
  virtual ~Map();

  // Removes every mapping of `key`; an absent key is no error.
  virtual void erase(int32_t key) = 0;
  // Stores the pair key -> value.
  virtual void insert(int32_t key, int32_t value) = 0;
  // Pushes every value stored under `key` into `op`.
  virtual void pointQuery(int32_t key, IntPushOperator& op) = 0;
  // Pushes the values of all keys k with lowKey <= k <= highKey into `op`, ascending by key.
  virtual void rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) = 0;
  // Number of mappings held.
  virtual int64_t size() = 0;
};

}  // namespace util

#endif  // UTIL_MAP_H_
