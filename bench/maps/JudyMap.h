// JudyMap: a Judy array (JudyL, a 256-way radix tree whose nodes adapt their layout to
// their population) behind the Map contract, as a peer from outside the B-tree family.
//
// It keeps every inserted pair: the values of one key in insertion order, erase removes
// all mappings of a key, and queries push in ascending key order, the values of one key in
// insertion order. A range query with lowKey > highKey delivers nothing. It never calls
// thatsallfolks().
//
// Layout: a key is stored under the unsigned word whose order is the key's signed order
// (the sign bit flipped). The word stored under it holds the key's only value inline,
// tagged by its low bit, as long as the key has one value; a second value moves them into
// a separately allocated, growable value list, and the word then holds the list's address
// (low bit clear). allocatedBytes() is exact: Judy's own usage plus the value lists.
//
// Not thread-safe.
#ifndef BENCH_MAPS_JUDY_MAP_H_
#define BENCH_MAPS_JUDY_MAP_H_

#include <cstdint>

#include "maps/Map.h"

namespace bench {

class JudyMap final : public util::Map {
 public:
  JudyMap() = default;
  JudyMap(const JudyMap&) = delete;
  JudyMap& operator=(const JudyMap&) = delete;
  ~JudyMap() override;

  // insert and erase throw std::bad_alloc when memory runs out, and insert throws
  // std::length_error rather than store more than 2^31 - 3 values under one key.
  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, util::IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override;
  int64_t size() override { return size_; }

  // Bytes the Judy array and the value lists hold, as requested from the heap.
  int64_t allocatedBytes() const;

 private:
  void* judy_ = nullptr;   // the JudyL array (Judy's Pvoid_t); empty when null
  int64_t size_ = 0;       // mappings held
  int64_t listBytes_ = 0;  // bytes of all value lists
};

}  // namespace bench

#endif  // BENCH_MAPS_JUDY_MAP_H_
