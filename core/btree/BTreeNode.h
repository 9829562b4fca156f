// BTreeNode: what the two kinds of node, Leaf and InternalNode, have in common.
//
// The tree and every internal node hold their children as BTreeNode. The tree knows its
// height, so it descends in a loop and tells the kinds apart by level (InternalNode::route
// on the way down, InternalNode::absorb on the way back up, the Leaf's own operations at
// the bottom); what stays virtual is only what the graph output and the destruction of a
// node need without knowing its kind.
//
// Nodes do not own each other: the tree's NodePool owns every node, and nodes link to
// children and to the next leaf with plain pointers. Each node carries an identity number
// that names it in text and graph output; it is handed out when first printed.
// Not thread-safe.
#ifndef CORE_BTREE_B_TREE_NODE_H_
#define CORE_BTREE_B_TREE_NODE_H_

#include <cstdint>
#include <exception>
#include <string>

#include "util/IdentityNumber.h"
#include "util/OutputStream.h"

namespace core::btree {

class BTreeNode {
 public:
  BTreeNode() = default;
  BTreeNode(const BTreeNode&) = delete;
  BTreeNode& operator=(const BTreeNode&) = delete;
  virtual ~BTreeNode();

  virtual bool isLeaf() const = 0;
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
