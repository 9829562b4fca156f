#include "maps/BTreeMap.h"

namespace util {

BTreeMap::BTreeMap(int32_t k, int32_t k_star) : btree_(k, k_star) {}

BTreeMap::BTreeMap(int32_t k, int32_t k_star, SplitPolicy policy) : btree_(k, k_star, policy) {}

void BTreeMap::erase(int32_t key) {
  btree_.remove(key);
}

void BTreeMap::insert(int32_t key, int32_t value) {
  btree_.add(key, value);
}

void BTreeMap::pointQuery(int32_t key, IntPushOperator& op) {
  btree_.get(key, op);
}

void BTreeMap::rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) {
  btree_.queryRange(lowKey, highKey, op);
}

int64_t BTreeMap::size() {
  return btree_.size();
}

}  // namespace util
