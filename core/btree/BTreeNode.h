// BTreeNode: the contract of the two kinds of node, Leaf and InternalNode, as a small value
// that names one node of a NodePool: its handle and its level (0 for a leaf).
//
// The tree and every internal node hold their children as handles; a BTreeNode adds the
// level, which the tree knows from its height, and dispatches each operation on it without
// a virtual call. Each operation recurses: an internal node routes it to the child whose
// interval holds the key, a leaf finishes it, walking the leaf chain where the answer or the
// insertion place lies beyond its own entries. So calling an operation on the root gives the
// tree's result. The tree itself descends in a loop instead, taking the same steps
// (InternalNode::route on the way down, the Leaf's operation at the bottom,
// InternalNode::absorb on the way back up).
//
// A node's identity number, which names it in text and graph output, is its handle: distinct
// for the nodes of one pool and fixed for a node's lifetime. A default BTreeNode names no
// node. Copying a BTreeNode copies the name, not the node. Not thread-safe.
#ifndef CORE_BTREE_B_TREE_NODE_H_
#define CORE_BTREE_B_TREE_NODE_H_

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "core/btree/NodePool.h"
#include "util/IntPushOperator.h"
#include "util/OutputStream.h"

namespace core::btree {

class LeafCarrier;
class SplitInfo;

class BTreeNode {
 public:
  BTreeNode() = default;
  BTreeNode(NodePool* pool, NodeHandle handle, int32_t level)
      : pool_(pool), handle_(handle), level_(level) {}

  // Stores key -> value in this subtree, after the mappings of the key already stored, and
  // returns this node's split for the caller to post, or nothing (also when a leaf split
  // inside a run of equal keys). `lowKey` and `highKey` are the subtree's bounds as the
  // parent computes them (at the root the smallest and the largest int); they do not filter,
  // they tell a leaf how far along the chain the subtree reaches. `carrier`, when given,
  // receives the leaf that took the entry. New nodes come from the node's pool.
  std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                               LeafCarrier* carrier) const;
  // Pushes every value of `key` in stored order, then calls op.thatsallfolks() once.
  void get(int32_t key, util::IntPushOperator& op) const;
  // True when the node holds nothing: a leaf without entries, an internal node without keys
  // whose first child is not set.
  bool isEmpty() const;
  bool isLeaf() const { return level_ == 0; }
  // Pushes every value whose key lies in [lowKey, highKey] in key order, then calls
  // op.thatsallfolks() once.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const;
  // Removes the first mapping key -> value, or every mapping of the key when value is
  // BTreeConstants::ALL_MAPPINGS. The bounds are those of add.
  void remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) const;
  // Writes this node's part of the tree's graph. I/O errors are reported, not thrown.
  void toDot(util::OutputStream& out) const;
  // The node's text form ("[5=50]", "[11 | 3 | 12]").
  std::string toString() const;

  // The number that names this node in text and graph output.
  int32_t identityNumber() const { return static_cast<int32_t>(handle_); }
  NodeHandle handle() const { return handle_; }
  int32_t level() const { return level_; }
  NodePool* pool() const { return pool_; }
  explicit operator bool() const { return handle_ != NodePool::kNoNode; }
  bool operator==(const BTreeNode& other) const {
    return pool_ == other.pool_ && handle_ == other.handle_;
  }

  // How graph output reports a failed write and carries on: "could not write dotty" as a
  // line on standard output, the error and `where` it happened on standard error.
  static void reportDotFailure(const std::exception& error, const std::string& where);

 private:
  NodePool* pool_ = nullptr;
  NodeHandle handle_ = NodePool::kNoNode;
  int32_t level_ = 0;
};

}  // namespace core::btree

#endif  // CORE_BTREE_B_TREE_NODE_H_
