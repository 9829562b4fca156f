// CSBTreeMap: the CSB+-tree behind the Map contract.
//
// Each contract operation is exactly one tree operation: insert -> add, erase -> remove (all
// mappings of the key), pointQuery -> get, rangeQuery -> queryRange, size -> size. So the map
// keeps every inserted pair, and every query ends with one thatsallfolks() call. The adapter
// adds no state and no checks of its own. Not thread-safe.
#ifndef UTIL_CSB_TREE_MAP_H_
#define UTIL_CSB_TREE_MAP_H_

#include <cstdint>

#include "core/csbtree/CSBTree.h"
#include "maps/Map.h"

namespace util {

class CSBTreeMap final : public Map {
 public:
  // Throws std::invalid_argument when the tree refuses k or k_star.
  CSBTreeMap(int32_t k, int32_t k_star);
  // The same, the tree splitting full leaves, nodes and groups as `policy` says (CSBTree.h).
  CSBTreeMap(int32_t k, int32_t k_star, SplitPolicy policy);

  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) override;
  int64_t size() override;

  // Bytes the tree has allocated and still holds (CSBTree::allocatedBytes).
  int64_t allocatedBytes() const { return csbtree_.allocatedBytes(); }

  core::csbtree::CSBTree& tree() { return csbtree_; }

 private:
  core::csbtree::CSBTree csbtree_;
};

}  // namespace util

#endif  // UTIL_CSB_TREE_MAP_H_
