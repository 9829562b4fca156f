// CSBTreeNode: the contract of the two kinds of group of the CSB+-tree.
//
// A group holds all children of one parent node side by side: a NodeGroup holds internal
// nodes, a LeafGroup holds leaves. A parent node keeps one reference to the group of its
// children and names a child by its 0-based position `index` in that group; every operation
// that descends says which member it is meant for.
//
// `lowKey` and `highKey` of add and remove are the separators enclosing the child interval
// being descended (at the root the smallest and the largest int). Every key stored below the
// interval lies between them, both inclusive: a run of equal keys divided by a split may
// leave keys equal to a separator on its left.
//
// Every group has an identity number that names it in text and graph output. Groups are not
// thread-safe.
#ifndef CORE_CSBTREE_CSB_TREE_NODE_H_
#define CORE_CSBTREE_CSB_TREE_NODE_H_

#include <cstdint>
#include <optional>

#include "core/csbtree/LeafCarrier.h"
#include "core/csbtree/SplitInfo.h"
#include "util/IdentityNumber.h"
#include "util/IntPushOperator.h"
#include "util/OutputStream.h"

namespace core::csbtree {

class CSBTreeNode {
 public:
  CSBTreeNode() = default;
  CSBTreeNode(const CSBTreeNode&) = delete;
  CSBTreeNode& operator=(const CSBTreeNode&) = delete;
  virtual ~CSBTreeNode();

  // Inserts key -> value below member `index`, after the mappings of the key already stored.
  // `parentFull` says whether the parent node that references this group holds its maximum
  // number of keys: only then may the group split in two. `carrier` may be null.
  virtual std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                                       int32_t lowKey, int32_t highKey, LeafCarrier* carrier) = 0;
  // Pushes every value of `key` in stored order, then calls op.thatsallfolks() once.
  virtual void get(int32_t index, int32_t key, util::IntPushOperator& op) = 0;
  // True when the group has no members (a node group without nodes, a leaf group without
  // leaves); a group of a tree always has some, even when all its leaves are empty.
  virtual bool isEmpty() const = 0;
  // True when member `index` holds its maximum (a node 4 x k keys, a leaf 2 x k_star entries).
  virtual bool isFull(int32_t index) const = 0;
  virtual bool isLeaf() const = 0;
  // Pushes the values of every key in [lowKey, highKey] in key order, then calls
  // op.thatsallfolks() once. Nothing is pushed when lowKey > highKey.
  virtual void queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                          util::IntPushOperator& op) = 0;
  // Removes the first mapping key -> value, or every mapping of the key when `value` is
  // CSBTreeConstants::ALL_MAPPINGS.
  virtual void remove(int32_t index, int32_t key, int32_t value, int32_t lowKey,
                      int32_t highKey) = 0;
  // Writes this group's records of the graph description; throws util::IOError when the
  // stream fails.
  virtual void toDot(util::OutputStream& out) = 0;
  // Bytes this group and the groups below it have allocated and still hold: the group
  // objects and their arrays at their allocated lengths.
  virtual int64_t allocatedBytes() const = 0;
  // Where the group's key array starts, and how many key slots each member takes in it: the
  // keys of member i begin at keyBlock() + i x memberStride(). A parent keeps the block's
  // address, so that a descent can ask for a member's keys before it has read the group.
  // The address changes only when the group's arrays are replaced, which only an add() that
  // reports a split does.
  virtual const int32_t* keyBlock() const = 0;
  // The value array laid out the same way (a leaf group's), or null (a node group's).
  virtual const int32_t* valueBlock() const = 0;
  virtual int32_t memberStride() const = 0;

  int32_t identityNumber() const { return identity_.get(); }

 private:
  util::IdentityNumber identity_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_CSB_TREE_NODE_H_
