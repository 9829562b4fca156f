// LeafGroup: the leaf level of the CSB+-tree, a group of sibling leaves.
//
// The group holds all leaves that are children of one parent node in one
// LeafGroupArrayMap; the parent names a leaf by its 0-based position `index`, which is leaf
// number index + 1 of the array map. Leaf groups form a chain left to right through
// nextLeafGroup, starting at the tree's first leaf group; lookups that run past the end of a
// group go on in the next one.
//
// Insertion stores the entry in the named leaf and splits that leaf the moment it fills, so
// between operations no leaf is full; when the parent node is full the group is split in two
// as well and the new group is linked into the chain right after this one.
//
// Lookups and removals start at the first leaf that may hold the key (see NodeGroup) and walk
// on across the following leaves of the group and along the chain for as long as entries of
// the key may follow, so that every mapping of a key divided by a leaf split is found.
//
// Invariants: keys are non-decreasing along the chain, across the leaves of a group and
// inside each leaf; every group has at least one leaf (leaves may be empty); a group below a
// parent node has one leaf more than that node has keys. Groups are never unlinked.
// nextLeafGroup does not own: every group is owned by its parent node's group or, as the
// root, by the tree. Not thread-safe.
#ifndef CORE_CSBTREE_LEAF_GROUP_H_
#define CORE_CSBTREE_LEAF_GROUP_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/LeafGroupArrayMap.h"

namespace core::csbtree {

class LeafGroup final : public CSBTreeNode {
 public:
  // One empty leaf of 2 x k_star slots.
  LeafGroup(int32_t k, int32_t k_star);
  LeafGroup(int32_t k, int32_t k_star, LeafGroupArrayMap entries);

  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier) override;
  void get(int32_t index, int32_t key, util::IntPushOperator& op) override;
  // No slots means no leaves.
  bool isEmpty() const override { return entries_.size() == 0; }
  bool isFull(int32_t index) const override { return entries_.size(index + 1) >= 2 * k_star_; }
  bool isLeaf() const override { return true; }
  void queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                  util::IntPushOperator& op) override;
  // `highKey` is the separator right of the leaf `index`: only when it equals `key` may
  // mappings of the key lie beyond that leaf, and the removal then walks on.
  void remove(int32_t index, int32_t key, int32_t value, int32_t lowKey, int32_t highKey) override;
  // Writes this group's record and the edge to the next group.
  void toDot(util::OutputStream& out) override;
  int64_t allocatedBytes() const override;
  const int32_t* keyBlock() const override { return entries_.keyBlock(); }
  const int32_t* valueBlock() const override { return entries_.valueBlock(); }
  int32_t memberStride() const override { return 2 * k_star_; }

  // Splits leaf number `leaf` (1-based) inside the group; reports this group and the first
  // key of the new leaf `leaf` + 1.
  SplitInfo split(int32_t leaf);
  // Splits the group after a leaf split: this group keeps the lower half of its leaves, a new
  // group linked right after it takes the rest. Reports this group, info.pivot and the new
  // group.
  SplitInfo split(const SplitInfo& info);

  // "LeafGroup <id> [3=30, 7=70]": the group's identity number and its entries.
  std::string toString() const;

  const LeafGroupArrayMap& getEntries() const { return entries_; }
  LeafGroup* getNextLeafGroup() const { return nextLeafGroup_; }

 private:
  LeafGroupArrayMap entries_;
  int32_t k_;
  int32_t k_star_;
  LeafGroup* nextLeafGroup_ = nullptr;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_LEAF_GROUP_H_
