#include "maps/StdTreeMap.h"

namespace util {

StdTreeMap::StdTreeMap() : treeMap_(decltype(treeMap_)::allocator_type(allocatedBytes_)) {}

void StdTreeMap::erase(int32_t key) {
  treeMap_.erase(key);
}

void StdTreeMap::insert(int32_t key, int32_t value) {
  treeMap_.insert_or_assign(key, value);
}

void StdTreeMap::pointQuery(int32_t key, IntPushOperator& op) {
  auto it = treeMap_.find(key);
  if (it != treeMap_.end())
    op.pass(it->second);
}

void StdTreeMap::rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) {
  if (lowKey > highKey)
    return;
  // upper_bound keeps highKey inclusive without computing highKey + 1, which could overflow.
  const auto end = treeMap_.upper_bound(highKey);
  for (auto it = treeMap_.lower_bound(lowKey); it != end; ++it)
    op.pass(it->second);
}

int64_t StdTreeMap::size() {
  return static_cast<int64_t>(treeMap_.size());
}

}  // namespace util
