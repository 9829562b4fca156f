// StdMultimapMap: std::multimap<int32_t, int32_t> behind the Map contract.
//
// A peer for comparison: like the trees it keeps every inserted pair (equal keys in
// insertion order) and erase removes all mappings of a key. It never calls thatsallfolks().
#ifndef BENCH_MAPS_STD_MULTIMAP_MAP_H_
#define BENCH_MAPS_STD_MULTIMAP_MAP_H_

#include <map>

#include "util/Map.h"

namespace bench {

class StdMultimapMap final : public util::Map {
 public:
  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, util::IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override;
  int64_t size() override;

 private:
  std::multimap<int32_t, int32_t> map_;
};

}  // namespace bench

#endif  // BENCH_MAPS_STD_MULTIMAP_MAP_H_
