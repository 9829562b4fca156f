// BTreeConstants: the constants shared by the B+-tree's classes, and the checks of the two
// size parameters.
//
// A tree is built with two parameters: `k` for internal nodes (capacity 2 x k keys) and
// `k_star` for leaves (capacity 2 x k_star entries). Stateless; safe to use from any thread.
#ifndef CORE_BTREE_B_TREE_CONSTANTS_H_
#define CORE_BTREE_B_TREE_CONSTANTS_H_

#include <cstdint>
#include <limits>

namespace core::btree {

class BTreeConstants {
 public:
  // As the value of a removal: remove every mapping of the key. A mapping whose value is
  // ALL_MAPPINGS therefore cannot be removed on its own.
  static constexpr int32_t ALL_MAPPINGS = std::numeric_limits<int32_t>::min();

  // Smallest usable parameters: an internal node with k = 1 would split into a node without
  // keys, and a leaf with k_star = 0 would have no room at all.
  static constexpr int32_t kMinK = 2;
  static constexpr int32_t kMinKStar = 1;

  // Largest accepted k and k_star, 2^30 - 1: node capacities and positions are 32-bit ints,
  // and an internal node counts 2 x k children, a leaf 2 x k_star entries, so 2^30 would
  // overflow. The arena is no tighter bound: a leaf block of 2^30 - 1 would take 16 GiB, far
  // below its largest block (2^32 lines); memory runs out first, with std::bad_alloc.
  static constexpr int32_t kMaxParameter = (1 << 30) - 1;

  // Throw std::invalid_argument naming the parameter, its allowed range and what bounds it
  // ("k must be between 2 and 1073741823 (2 x k children per node, counted in 32 bits),
  // got 1") when the value is out of range.
  static void checkK(int32_t k);
  static void checkKStar(int32_t k_star);
};

}  // namespace core::btree

#endif  // CORE_BTREE_B_TREE_CONSTANTS_H_
