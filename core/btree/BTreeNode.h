// BTreeNode: the contract shared by the two kinds of node, Leaf and InternalNode.
//
// The tree and every internal node hold their children as BTreeNode, so each operation
// descends by calling the same operation on a child without knowing its kind.
//
// In add() and remove(), lowKey and highKey are the separators that enclose the subtree
// this node roots (the smallest and largest int at the root). They do not filter the
// operation; they tell a leaf how far along the leaf chain its subtree reaches.
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

#include "core/btree/LeafCarrier.h"
#include "core/btree/SplitInfo.h"
#include "util/IdentityNumber.h"
#include "util/IntPushOperator.h"
#include "util/OutputStream.h"

namespace core::btree {

class NodePool;

class BTreeNode {
 public:
  BTreeNode() = default;
  BTreeNode(const BTreeNode&) = delete;
  BTreeNode& operator=(const BTreeNode&) = delete;
  virtual ~BTreeNode();

  // Stores key -> value in this subtree, after the mappings of equal keys. New nodes come
  // from `pool`. Returns the split to post when this node split, else nothing. `carrier`,
  // when given, receives the leaf that took the entry.
  virtual std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                                       LeafCarrier* carrier, NodePool& pool) = 0;
  // Passes every value of `key` to `op` in stored order, then calls op.thatsallfolks() once.
  virtual void get(int32_t key, util::IntPushOperator& op) = 0;
  // True when the node holds nothing.
  virtual bool isEmpty() const = 0;
  virtual bool isLeaf() const = 0;
  // Passes every value whose key lies in [lowKey, highKey] to `op` in key order, then calls
  // op.thatsallfolks() once.
  virtual void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) = 0;
  // Removes the first mapping key -> value, or every mapping of the key when value is
  // BTreeConstants::ALL_MAPPINGS.
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
