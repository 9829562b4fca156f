// CSBTreeConstants: the constants shared by the classes of the CSB+-tree.
//
// ALL_MAPPINGS, passed as the value of a removal, selects every mapping of the key; a single
// mapping whose value is ALL_MAPPINGS can therefore not be removed on its own.
//
// kMaxParameter bounds the tree parameters k and k_star. A node holds up to 4 x k keys and a
// leaf 2 x k_star entries; with both parameters at most 2^20 these capacities (2^22 and 2^21)
// and every offset inside one node or one leaf fit comfortably in 32 bits, and one node or
// leaf stays allocatable (16 MiB of keys at most). Offsets across a whole group (member number
// x capacity) can still exceed 32 bits and are computed in 64 bits.
#ifndef CORE_CSBTREE_CSB_TREE_CONSTANTS_H_
#define CORE_CSBTREE_CSB_TREE_CONSTANTS_H_

#include <cstdint>
#include <limits>

namespace core::csbtree {

class CSBTreeConstants {
 public:
  static constexpr int32_t ALL_MAPPINGS = std::numeric_limits<int32_t>::min();
  static constexpr int32_t kMaxParameter = 1 << 20;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_CSB_TREE_CONSTANTS_H_
