#include "util/CSBTreeMap.h"

namespace util {

CSBTreeMap::CSBTreeMap(int32_t k, int32_t k_star) : csbtree(k, k_star) {}

void CSBTreeMap::erase(int32_t key) {
  csbtree.remove(key);
}

void CSBTreeMap::insert(int32_t key, int32_t value) {
  csbtree.add(key, value);
}

void CSBTreeMap::pointQuery(int32_t key, IntPushOperator& op) {
  csbtree.get(key, op);
}

void CSBTreeMap::rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) {
  csbtree.queryRange(lowKey, highKey, op);
}

int64_t CSBTreeMap::size() {
  return csbtree.size();
}

}  // namespace util
