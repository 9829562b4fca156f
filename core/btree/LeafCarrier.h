// LeafCarrier: an out-record in which an insertion names the leaf that took the entry.
//
// The caller of BTree::add owns the carrier; the leaf that stores the entry records itself
// before it splits, so after a split the carried leaf may hold the lower half only. The
// leaf stays valid as long as its tree. Not thread-safe.
#ifndef CORE_BTREE_LEAF_CARRIER_H_
#define CORE_BTREE_LEAF_CARRIER_H_

#include "core/btree/Leaf.h"

namespace core::btree {

class LeafCarrier {
 public:
  LeafCarrier() = default;

  // The leaf that received the last insertion through this carrier; no leaf (false) before.
  Leaf getLeaf() const { return carriedLeaf_; }
  void setLeaf(Leaf leaf) { carriedLeaf_ = leaf; }

 private:
  Leaf carriedLeaf_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_LEAF_CARRIER_H_
