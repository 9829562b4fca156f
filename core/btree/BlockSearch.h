// BlockSearch: the key searches of the B+-tree's lookups, over the blocks of its NodePool.
//
// A pool block is whole 64-byte lines on a line boundary, so a search may read every int of
// the lines its keys lie in, stale slots included (util/BlockRank.h). The searches give
// exactly what the entry maps' bisections give: childPosition the child an internal node
// sends a key to (the number of separators <= key), lowerBound the first leaf entry whose
// key is >= key. An internal search reads all lines of keys without a branch; `KeyLines` is
// their number (NodePool::internalKeyLines), 0 for nodes too large for one mask, which are
// bisected as the entry maps do. A leaf search reads line after line and stops at the line
// that holds its answer, so that most lookups leave the lines of the last keys and the
// values alone. Thread-safe: pure functions over blocks the caller keeps alive.
#ifndef CORE_BTREE_BLOCK_SEARCH_H_
#define CORE_BTREE_BLOCK_SEARCH_H_

#include <cstdint>
#include <type_traits>

#include "core/btree/NodeLayout.h"
#include "util/BlockRank.h"
#include "util/KeySearch.h"

namespace core::btree {

// The ints before the keys: the key count (internal), the entry count and next leaf (leaf).
inline constexpr int kInternalHeaderInts = 1;
inline constexpr int kLeafHeaderInts = 2;

// The lines of keys of an internal block of `capacity` keys, or 0 (bisected).
constexpr int internalKeyLinesFor(int32_t capacity) {
  return util::keyLinesFor(kInternalHeaderInts, capacity);
}

// The child position for `key` in the internal block `block` of `capacity` keys.
template <int KeyLines>
[[gnu::always_inline]] inline int32_t childPosition(const int32_t* block, int32_t capacity,
                                                    int32_t key) {
  const InternalBlock node(const_cast<int32_t*>(block), capacity);
  if constexpr (KeyLines == 0)
    return static_cast<int32_t>(util::upperBound(node.keys(), node.count(), key) - node.keys());
  else
    return util::rankNotAbove<KeyLines, kInternalHeaderInts>(block, node.count(), key);
}

// The first position of the leaf block `block` whose key is >= key.
[[gnu::always_inline]] inline int32_t lowerBound(LeafBlock block, int32_t key) {
  return util::rankBelowByLine<kLeafHeaderInts>(block.data(), block.count(), key);
}

// Calls f(std::integral_constant<int, L>{}) for L = `keyLines` (0 .. kRankMaxLines), so that
// the search shape is chosen once per operation and every level's search is inlined.
template <class F>
[[gnu::always_inline]] inline decltype(auto) withKeyLines(int keyLines, F&& f) {
  static_assert(util::kRankMaxLines == 4);
  switch (keyLines) {
    case 1:
      return f(std::integral_constant<int, 1>{});
    case 2:
      return f(std::integral_constant<int, 2>{});
    case 3:
      return f(std::integral_constant<int, 3>{});
    case 4:
      return f(std::integral_constant<int, 4>{});
    default:
      return f(std::integral_constant<int, 0>{});
  }
}

}  // namespace core::btree

#endif  // CORE_BTREE_BLOCK_SEARCH_H_
