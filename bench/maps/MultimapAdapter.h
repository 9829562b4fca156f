// MultimapAdapter: any std::multimap-like container behind the Map contract.
//
// The container must offer emplace, erase(key), equal_range, lower_bound, upper_bound and
// size with the meaning std::multimap gives them: every inserted pair is kept (equal keys
// in insertion order) and erase removes all mappings of a key. The adapter never calls
// thatsallfolks(). A range query with lowKey > highKey delivers nothing.
#ifndef BENCH_MAPS_MULTIMAP_ADAPTER_H_
#define BENCH_MAPS_MULTIMAP_ADAPTER_H_

#include "util/Map.h"

namespace bench {

template <class Container>
class MultimapAdapter final : public util::Map {
 public:
  void erase(int32_t key) override { map_.erase(key); }

  void insert(int32_t key, int32_t value) override { map_.emplace(key, value); }

  void pointQuery(int32_t key, util::IntPushOperator& op) override {
    auto [it, end] = map_.equal_range(key);
    for (; it != end; ++it) op.pass(it->second);
  }

  void rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override {
    if (lowKey > highKey) return;
    // upper_bound keeps highKey inclusive without computing highKey + 1, which could overflow.
    const auto end = map_.upper_bound(highKey);
    for (auto it = map_.lower_bound(lowKey); it != end; ++it) op.pass(it->second);
  }

  int64_t size() override { return static_cast<int64_t>(map_.size()); }

 private:
  Container map_;
};

}  // namespace bench

#endif  // BENCH_MAPS_MULTIMAP_ADAPTER_H_
