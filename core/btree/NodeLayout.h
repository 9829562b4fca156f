// LeafBlock and InternalBlock: the layout of the B+-tree's two kinds of block, the one place
// that knows where each field of a node lies.
//
// A leaf block of capacity c is c + c + 2 ints: [entry count, next leaf's handle, keys[c],
// values[c]]. An internal block of capacity c is 2c + 2 ints: [key count, keys[c], child
// handles[c + 1]]. Both are small views (a pointer and the capacity) over ints that someone
// else owns: a NodePool block, or the block a standalone entry map allocates. Every reader of
// a block (the entry maps, the nodes, the tree's descent and statistics, the verifier) asks
// these types for a field instead of counting offsets itself. Not thread-safe.
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
