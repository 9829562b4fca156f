// LeafCarrier: an optional out-record of an insertion.
//
// A caller that passes a carrier to CSBTree::add learns which leaf group stored the entry:
// after a group split the carrier names the lower of the two groups. It names the group in
// the block it occupies when the insertion returns; the next insertion into the tree may move
// the group, so the record is current until then. Not thread-safe.
#ifndef CORE_CSBTREE_LEAF_CARRIER_H_
#define CORE_CSBTREE_LEAF_CARRIER_H_

#include "core/csbtree/CSBTreeNode.h"

namespace core::csbtree {

class LeafCarrier {
 public:
  LeafCarrier() = default;

  // The leaf group that received the last insertion through this carrier, or a null group.
  CSBTreeNode getLeaf() const { return carriedLeaf_; }
  void setLeaf(CSBTreeNode leaf) { carriedLeaf_ = leaf; }

 private:
  CSBTreeNode carriedLeaf_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_LEAF_CARRIER_H_
