// AbslBTreeMap: absl::btree_multimap<int32_t, int32_t> behind the Map contract.
//
// The strongest general-purpose peer: a cache-friendly B-tree that, like our trees, keeps
// every inserted pair (equal keys in insertion order). It never calls thatsallfolks().
//
// This file is also the model for adding a map of your own to mapbench: wrap the container
// in a util::Map, then register it with one line in bench/MapRegistry.cpp.
#ifndef BENCH_MAPS_ABSL_BTREE_MAP_H_
#define BENCH_MAPS_ABSL_BTREE_MAP_H_

#include <absl/container/btree_map.h>

#include "util/Map.h"

namespace bench {

class AbslBTreeMap final : public util::Map {
 public:
  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, util::IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override;
  int64_t size() override;

 private:
  absl::btree_multimap<int32_t, int32_t> map_;
};

}  // namespace bench

#endif  // BENCH_MAPS_ABSL_BTREE_MAP_H_
