// LeafCarrier: an optional out-record of an insertion.
//
// A caller that passes a carrier to CSBTree::add learns which leaf group stored the entry:
// that group records itself before any split, so after a group split the carrier names the
// lower of the two groups. The pointer is not owned and stays valid as long as the tree does
// (groups are never freed while their tree exists). Not thread-safe.
#ifndef CORE_CSBTREE_LEAF_CARRIER_H_
#define CORE_CSBTREE_LEAF_CARRIER_H_

namespace core::csbtree {

class LeafGroup;

class LeafCarrier {
 public:
  LeafCarrier() = default;

  // The leaf group that received the last insertion through this carrier, or nullptr.
  LeafGroup* getLeaf() const { return carriedLeaf_; }
  void setLeaf(LeafGroup* leaf) { carriedLeaf_ = leaf; }

 private:
  LeafGroup* carriedLeaf_ = nullptr;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_LEAF_CARRIER_H_
