// LeafGroup: the leaf level of the CSB+-tree, a group of sibling leaves.
//
// A view over one leaf-group block (LeafGroupArrayMap holds the entries; GroupStore
// describes the block). The group holds all leaves that are children of one parent node;
// the parent names a leaf by its 0-based position `index`, which is leaf number index + 1 of
// the array map. Leaf groups form a chain left to right, linked both ways in their headers,
// starting at the store's first leaf group; lookups that run past the end of a group go on in
// the next one.
//
// Insertion stores the entry in the named leaf and splits that leaf the moment it fills, so
// between operations no leaf is full; when the parent node is full the group is split in two
// as well and the new group is linked into the chain right after this one. Each split moves
// the group to a new block: the view follows it, the neighbours' chain links (or the store's
// first leaf group) are set to the new block, and the report to the parent names it.
//
// Lookups and removals start at the first leaf that may hold the key (see NodeGroup) and walk
// on across the following leaves of the group and along the chain for as long as entries of
// the key may follow, so that every mapping of a key divided by a leaf split is found. get and
// queryRange are the tree's lookup loop (Lookup.h) started at this group.
//
// Invariants: keys are non-decreasing along the chain, across the leaves of a group and
// inside each leaf; every group has at least one leaf (leaves may be empty); a group below a
// parent node has one leaf more than that node has keys. Groups are never unlinked.
// Not thread-safe.
#ifndef CORE_CSBTREE_LEAF_GROUP_H_
#define CORE_CSBTREE_LEAF_GROUP_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/LeafCarrier.h"
#include "core/csbtree/LeafGroupArrayMap.h"
#include "core/csbtree/SplitInfo.h"
#include "util/SplitPolicy.h"

namespace core::csbtree {

class LeafGroup {
 public:
  // A new group of one empty leaf of 2 x k_star slots, not linked into any chain.
  explicit LeafGroup(GroupStore& store) : entries_(store) {}
  // The group in block `handle`.
  LeafGroup(GroupStore& store, GroupHandle handle) : entries_(store, handle) {}
  // A group over an existing map (the upper half of a group split).
  explicit LeafGroup(LeafGroupArrayMap entries) : entries_(entries) {}
  // The leaf group `group` names. REQUIRES: group is a leaf group.
  explicit LeafGroup(CSBTreeNode group) : entries_(*group.store(), group.handle()) {}

  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier);
  // The same, splitting the leaf (and the group) where `rule` says (util/SplitPolicy.h), which
  // also learns whether that split followed a run: the group then splits where the parent
  // node will, at the new separator. The add above splits both in the middle.
  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier,
                               util::SplitRule& rule);
  void get(int32_t index, int32_t key, util::IntPushOperator& op) const;
  // Never true for a group the tree builds: every group has a leaf.
  bool isEmpty() const { return entries_.leaves() == 0; }
  bool isFull(int32_t index) const { return entries_.size(index + 1) >= entries_.getTwoKStar(); }
  bool isLeaf() const { return true; }
  void queryRange(int32_t index, int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const;
  // `highKey` is the separator right of the leaf `index`: only when it equals `key` may
  // mappings of the key lie beyond that leaf, and the removal then walks on.
  void remove(int32_t index, int32_t key, int32_t value, int32_t lowKey, int32_t highKey);
  // Writes this group's record and the edge to the next group.
  void toDot(util::OutputStream& out) const;

  // Splits leaf number `leaf` (1-based) inside the group; reports this group and the first
  // key of the new leaf `leaf` + 1.
  SplitInfo split(int32_t leaf);
  // The same, the leaf keeping its lowest `lowerEntries` entries.
  SplitInfo split(int32_t leaf, int32_t lowerEntries);
  // Splits the group after a leaf split: this group keeps the lower half of its leaves, a new
  // group linked right after it takes the rest. Reports this group, info.pivot and the new
  // group.
  SplitInfo split(const SplitInfo& info);
  // The same, this group keeping its lowest `lowerLeaves` leaves.
  SplitInfo split(const SplitInfo& info, int32_t lowerLeaves);

  // "LeafGroup <id> [3=30, 7=70]": the group's identity number and its entries.
  std::string toString() const;

  // A view: it names the block the group occupies now.
  LeafGroupArrayMap getEntries() const { return entries_; }
  // The next group of the chain, or a null group.
  CSBTreeNode getNextLeafGroup() const {
    return CSBTreeNode(&entries_.store(), entries_.header()->next);
  }
  CSBTreeNode node() const { return CSBTreeNode(&entries_.store(), entries_.handle()); }
  operator CSBTreeNode() const { return node(); }  // NOLINT: a group is a node
  int32_t identityNumber() const { return entries_.store().identityOf(entries_.handle()); }
  GroupHandle handle() const { return entries_.handle(); }

 private:
  // Points the chain's links to this group (its neighbours', and the store's first leaf
  // group when `first`) at its current block.
  void relink(bool first);

  LeafGroupArrayMap entries_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_LEAF_GROUP_H_
