// LeafBlock and InternalBlock: the layout of the B+-tree's two kinds of block, the one place
// that knows where each field of a node lies.
//
// A leaf block of capacity c is c + c + 2 ints: [entry count, next leaf's handle, keys[c],
// values[c]]. An internal block of capacity c is 2c + 2 ints: [key count, keys[c], child
// handles[c + 1]]. Both are small views (a pointer and the capacity) over ints that someone
// else owns: a NodePool block, or the block a standalone entry map allocates. Every reader of
// a block (the entry maps, the nodes, the tree's descent and statistics, the verifier) asks
// these types for a field instead of counting offsets itself. Not thread-safe.
//
// The blocks at the default k = k_star = 16 (capacity 31), four 64-byte lines each:
//
//   leaf      bytes      ints      line   holds
//             0 .. 3     0         0      entry count
//             4 .. 7     1         0      next leaf's handle
//             8 .. 131   2 .. 32   0-2    keys 0 .. 30 (keys 0-13 in line 0, 14-29 in 1)
//             132 .. 255 33 .. 63  2-3    values 0 .. 30
//   internal  0 .. 3     0         0      key count
//             4 .. 127   1 .. 31   0-1    keys 0 .. 30 (keys 0-14 in line 0, 15-30 in 1)
//             128 .. 255 32 .. 63  2-3    child handles 0 .. 31
//
// A lookup reads an internal node's two key lines and one line of children, and a leaf's
// first line, its second when the key lies past key 13, and a line of values on a hit.
#ifndef CORE_BTREE_NODE_LAYOUT_H_
#define CORE_BTREE_NODE_LAYOUT_H_

#include <cstddef>
#include <cstdint>

#include "util/Arena.h"

namespace core::btree {

using NodeHandle = util::Arena::Handle;

class LeafBlock {
 public:
  // The ints of a leaf block for `capacity` entries.
  static constexpr size_t ints(int32_t capacity) {
    return kHeaderInts + 2 * static_cast<size_t>(capacity);
  }

  LeafBlock(int32_t* block, int32_t capacity) : block_(block), capacity_(capacity) {}

  int32_t capacity() const { return capacity_; }
  // The number of entries.
  int32_t& count() const { return block_[0]; }
  // The next leaf of the chain (NodePool::kNoNode after the last).
  NodeHandle next() const { return static_cast<NodeHandle>(block_[1]); }
  void setNext(NodeHandle next) const { block_[1] = static_cast<int32_t>(next); }
  // keys()[0 .. capacity) and values()[0 .. capacity), in parallel.
  int32_t* keys() const { return block_ + kHeaderInts; }
  int32_t* values() const { return keys() + capacity_; }
  // The block's first int, for prefetching and identity.
  int32_t* data() const { return block_; }

 private:
  static constexpr size_t kHeaderInts = 2;  // the count and the next leaf

  int32_t* block_;
  int32_t capacity_;
};

class InternalBlock {
 public:
  // The ints of an internal block for `capacity` keys.
  static constexpr size_t ints(int32_t capacity) { return 2 + 2 * static_cast<size_t>(capacity); }

  InternalBlock(int32_t* block, int32_t capacity) : block_(block), capacity_(capacity) {}

  int32_t capacity() const { return capacity_; }
  // The number of keys.
  int32_t& count() const { return block_[0]; }
  // keys()[0 .. capacity), then children()[0 .. capacity].
  int32_t* keys() const { return block_ + 1; }
  NodeHandle* children() const { return reinterpret_cast<NodeHandle*>(keys() + capacity_); }
  int32_t* data() const { return block_; }

 private:
  int32_t* block_;
  int32_t capacity_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_NODE_LAYOUT_H_
