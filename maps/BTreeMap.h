// BTreeMap: the B+-tree behind the Map contract.
//
// Each operation is exactly one call on the tree: insert -> add, erase -> remove of every
// mapping, pointQuery -> get, rangeQuery -> queryRange, size -> size. It keeps duplicates,
// ends every query with one thatsallfolks(), and adds no checks, counting or allocation.
// The adapter owns its tree. Not thread-safe.
#ifndef UTIL_B_TREE_MAP_H_
#define UTIL_B_TREE_MAP_H_

#include <cstdint>

#include "core/btree/BTree.h"
#include "maps/Map.h"

namespace util {

class BTreeMap final : public Map {
 public:
  // k: internal node parameter, k_star: leaf parameter, both passed to the tree unchanged
  // (which throws std::invalid_argument for values it refuses).
  BTreeMap(int32_t k, int32_t k_star);
  // The same, the tree splitting full nodes as `policy` says (BTree.h).
  BTreeMap(int32_t k, int32_t k_star, SplitPolicy policy);

  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) override;
  int64_t size() override;

  // Bytes the tree has allocated and still holds (BTree::allocatedBytes).
  int64_t allocatedBytes() const { return btree_.allocatedBytes(); }

 private:
  core::btree::BTree btree_;
};

}  // namespace util

#endif  // UTIL_B_TREE_MAP_H_
