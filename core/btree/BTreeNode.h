// BTreeNode: the contract of the two kinds of node, Leaf and InternalNode.
//
// The tree and every internal node hold their children as BTreeNode. Each operation
// recurses: an internal node routes it to the child whose interval holds the key, a leaf
// finishes it, walking the leaf chain where the answer or the insertion place lies beyond
// its own entries. So calling an operation on the root gives the tree's result. The tree
// itself knows its height and descends in a loop instead, taking the same steps
// (InternalNode::route on the way down, the Leaf's operation at the bottom,
// InternalNode::absorb on the way back up).
//
// Nodes do not own each other: the tree's NodePool owns every node, and nodes link to
// children and to the next leaf with plain pointers. Each node carries an identity number
// that names it in text and graph output; it is handed out when first printed.
// Not thread-safe.
#ifndef CORE_BTREE_B_TREE_NODE_H_
#define CORE_BTREE_B_TREE_NODE_H_

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "core/btree/SplitInfo.h"
#include "util/IdentityNumber.h"
#include "util/IntPushOperator.h"
#include "util/OutputStream.h"

namespace core::btree {

class LeafCarrier;
class NodePool;

class BTreeNode {
 public:
  BTreeNode() = default;
  BTreeNode(const BTreeNode&) = delete;
  BTreeNode& operator=(const BTreeNode&) = delete;
  virtual ~BTreeNode();

  // Stores key -> value in this subtree, after the mappings of the key already stored, and
  // returns this node's split for the caller to post, or nothing (also when a leaf split
  // inside a run of equal keys). `lowKey` and `highKey` are the subtree's bounds as the
  // parent computes them (at the root the smallest and the largest int); they do not filter,
  // they tell a leaf how far along the chain the subtree reaches. `carrier`, when given,
  // receives the leaf that took the entry. New nodes come from `pool`, the tree's.
  virtual std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                                       LeafCarrier* carrier, NodePool& pool) = 0;
  // Pushes every value of `key` in stored order, then calls op.thatsallfolks() once.
  virtual void get(int32_t key, util::IntPushOperator& op) = 0;
  // True when the node holds nothing: a leaf without entries, an internal node without keys
  // whose first child is not set.
  virtual bool isEmpty() const = 0;
  virtual bool isLeaf() const = 0;
  // Pushes every value whose key lies in [lowKey, highKey] in key order, then calls
  // op.thatsallfolks() once.
  virtual void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) = 0;
  // Removes the first mapping key -> value, or every mapping of the key when value is
  // BTreeConstants::ALL_MAPPINGS. The bounds are those of add.
  virtual void remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) = 0;
  // Writes this node's part of the tree's graph. I/O errors are reported, not thrown.
  virtual void toDot(util::OutputStream& out) = 0;

  // The number that names this node in text and graph output.
  int32_t identityNumber() const { return identity_.get(); }

  // How graph output reports a failed write and carries on: "could not write dotty" as a
  // line on standard output, the error and `where` it happened on standard error.
  static void reportDotFailure(const std::exception& error, const std::string& where);

 private:
  util::IdentityNumber identity_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_B_TREE_NODE_H_
