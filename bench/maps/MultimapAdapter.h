// MultimapAdapter: any std::multimap-like container behind the Map contract.
//
// The container must offer emplace, erase(key), lower_bound, end and size with the meaning
// std::multimap gives them: every inserted pair is kept (equal keys in insertion order) and
// erase removes all mappings of a key. The adapter never calls thatsallfolks(). A range
// query with lowKey > highKey delivers nothing.
#ifndef BENCH_MAPS_MULTIMAP_ADAPTER_H_
#define BENCH_MAPS_MULTIMAP_ADAPTER_H_

#include "util/Map.h"

namespace bench {

template <class Container>
class MultimapAdapter final : public util::Map {
 public:
  void erase(int32_t key) override { map_.erase(key); }

  void insert(int32_t key, int32_t value) override { map_.emplace(key, value); }

  // One descent per query: lower_bound, then a walk while the keys still match. Bounding
  // the walk with equal_range or upper_bound instead would pay for a second descent.
  void pointQuery(int32_t key, util::IntPushOperator& op) override {
    const auto end = map_.end();
    for (auto it = map_.lower_bound(key); it != end && it->first == key; ++it)
      op.pass(it->second);
  }
  void rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override {
    const auto end = map_.end();
    for (auto it = map_.lower_bound(lowKey); it != end && it->first <= highKey; ++it)
      op.pass(it->second);
  }
  int64_t size() override { return static_cast<int64_t>(map_.size()); }

 private:
  Container map_;
};

}  // namespace bench

#endif  // BENCH_MAPS_MULTIMAP_ADAPTER_H_
