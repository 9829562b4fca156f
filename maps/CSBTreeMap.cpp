#include "maps/CSBTreeMap.h"

namespace util {

CSBTreeMap::CSBTreeMap(int32_t k, int32_t k_star) : csbtree_(k, k_star) {}

CSBTreeMap::CSBTreeMap(int32_t k, int32_t k_star, SplitPolicy policy)
    : csbtree_(k, k_star, policy) {}

void CSBTreeMap::erase(int32_t key) {
  csbtree_.remove(key);
}

void CSBTreeMap::insert(int32_t key, int32_t value) {
  csbtree_.add(key, value);
}

void CSBTreeMap::pointQuery(int32_t key, IntPushOperator& op) {
  csbtree_.get(key, op);
}

void CSBTreeMap::rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) {
  csbtree_.queryRange(lowKey, highKey, op);
}

int64_t CSBTreeMap::size() {
  return csbtree_.size();
}

}  // namespace util
