// CSBTreeNode: a group of the CSB+-tree, as its parent node and the tree hold it.
//
// A group holds all children of one parent node side by side: a NodeGroup holds internal
// nodes, a LeafGroup holds leaves. A parent node keeps the handle of the group of its
// children and names a child by its 0-based position `index` in that group; every operation
// that descends says which member it is meant for.
//
// A CSBTreeNode is a small value: the tree's GroupStore and the group's handle. It has no
// virtual functions; get and queryRange go straight to the tree's lookup loop (Lookup.h),
// which reads each group's level itself, and every other operation reads the group's level
// from its block and goes to the NodeGroup or LeafGroup operation of that name. A default-made
// value names no group (the sentinel NodeGroup::NULL_NODE is one). A value names a block, not a
// group for ever: an add() that reports a split has moved the group to a new block, and the value
// then to use is the report's leftNode.
//
// `lowKey` and `highKey` of add and remove are the separators enclosing the child interval
// being descended (at the root the smallest and the largest int). Every key stored below the
// interval lies between them, both inclusive: a run of equal keys divided by a split may
// leave keys equal to a separator on its left.
//
// Not thread-safe.
#ifndef CORE_CSBTREE_CSB_TREE_NODE_H_
#define CORE_CSBTREE_CSB_TREE_NODE_H_

#include <cstdint>
#include <optional>

#include "core/csbtree/GroupStore.h"
#include "util/IntPushOperator.h"
#include "util/OutputStream.h"
#include "util/SplitPolicy.h"

namespace core::csbtree {

class LeafCarrier;
struct SplitInfo;

class CSBTreeNode {
 public:
  CSBTreeNode() = default;
  CSBTreeNode(GroupStore* store, GroupHandle handle) : store_(store), handle_(handle) {}

  // Inserts key -> value below member `index`, after the mappings of the key already stored.
  // `parentFull` says whether the parent node that references this group holds its maximum
  // number of keys: only then may the group split in two. `carrier` may be null.
  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier);
  // The same, splitting where `rule` says (util/SplitPolicy.h); the add above splits in the
  // middle.
  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier,
                               util::SplitRule& rule);
  // Pushes every value of `key` in stored order, then calls op.thatsallfolks() once.
  void get(int32_t index, int32_t key, util::IntPushOperator& op) const;
  // True for a group without members, and for no group at all.
  bool isEmpty() const;
  // True when member `index` holds its maximum (a node 4 x k keys, a leaf 2 x k_star entries).
  bool isFull(int32_t index) const;
  bool isLeaf() const { return store_->header(handle_)->level == 0; }
  // Pushes the values of every key in [lowKey, highKey] in key order, then calls
  // op.thatsallfolks() once. Nothing is pushed when lowKey > highKey.
  void queryRange(int32_t index, int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const;
  // Removes the first mapping key -> value, or every mapping of the key when `value` is
  // CSBTreeConstants::ALL_MAPPINGS.
  void remove(int32_t index, int32_t key, int32_t value, int32_t lowKey, int32_t highKey) const;
  // Writes this group's records of the graph description; throws util::IOError when the
  // stream fails.
  void toDot(util::OutputStream& out) const;

  // The group's number in text and graph output: fixed for its lifetime, also when a split
  // moves it to another block.
  int32_t identityNumber() const { return store_->identityOf(handle_); }
  // 0 for a leaf group; a node group's children are at its level - 1.
  int32_t level() const { return store_->header(handle_)->level; }

  GroupStore* store() const { return store_; }
  GroupHandle handle() const { return handle_; }
  bool isNull() const { return handle_ == 0; }

  friend bool operator==(const CSBTreeNode&, const CSBTreeNode&) = default;

 private:
  GroupStore* store_ = nullptr;
  GroupHandle handle_ = 0;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_CSB_TREE_NODE_H_
