// CSBTreeConstants: the constants shared by the classes of the CSB+-tree.
//
// ALL_MAPPINGS, passed as the value of a removal, selects every mapping of the key; a single
// mapping whose value is ALL_MAPPINGS can therefore not be removed on its own.
//
// kMaxK and kMaxKStar bound the tree parameters by what a 32-bit int can count: a node
// holds up to 4 x k keys and a leaf 2 x k_star entries, and both counts (and every offset
// inside one node or one leaf) are ints, so k <= 2^29 - 1 and k_star <= 2^30 - 1. The arena
// is no tighter bound: it refuses a group beyond its largest block (2^32 lines) with
// std::bad_alloc, as it does when memory runs out. Offsets across a whole group (member
// number x capacity) can exceed 32 bits and are computed in 64 bits.
#ifndef CORE_CSBTREE_CSB_TREE_CONSTANTS_H_
#define CORE_CSBTREE_CSB_TREE_CONSTANTS_H_

#include <cstdint>
#include <limits>

namespace core::csbtree {

class CSBTreeConstants {
 public:
  static constexpr int32_t ALL_MAPPINGS = std::numeric_limits<int32_t>::min();
  static constexpr int32_t kMaxK = (1 << 29) - 1;
  static constexpr int32_t kMaxKStar = (1 << 30) - 1;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_CSB_TREE_CONSTANTS_H_
