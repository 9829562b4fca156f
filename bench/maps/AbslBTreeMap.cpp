#include "bench/maps/AbslBTreeMap.h"

namespace bench {

void AbslBTreeMap::erase(int32_t key) {
  map_.erase(key);
}

void AbslBTreeMap::insert(int32_t key, int32_t value) {
  map_.emplace(key, value);
}

void AbslBTreeMap::pointQuery(int32_t key, util::IntPushOperator& op) {
  auto [it, end] = map_.equal_range(key);
  for (; it != end; ++it)
    op.pass(it->second);
}

void AbslBTreeMap::rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  if (lowKey > highKey)
    return;
  const auto end = map_.upper_bound(highKey);
  for (auto it = map_.lower_bound(lowKey); it != end; ++it)
    op.pass(it->second);
}

int64_t AbslBTreeMap::size() {
  return static_cast<int64_t>(map_.size());
}

}  // namespace bench
