// SplitInfo: how a node reports its split to its caller.
//
// After a leaf split `pivot` is the first key of `rightNode`, which keeps it; after an
// internal split it is the middle key, which moves up and stays in neither node. Either
// way every key of leftNode's subtree is below `pivot` and every key of rightNode's subtree
// is at least `pivot`. The caller posts pivot and rightNode into its own entries (or grows
// a new root) and drops the record. The nodes are names (BTreeNode) into the tree's
// NodePool, which owns them. A plain value.
#ifndef CORE_BTREE_SPLIT_INFO_H_
#define CORE_BTREE_SPLIT_INFO_H_

#include <cstdint>

#include "core/btree/BTreeNode.h"

namespace core::btree {

class SplitInfo {
 public:
  SplitInfo(BTreeNode leftNode, int32_t pivot, BTreeNode rightNode)
      : leftNode(leftNode), pivot(pivot), rightNode(rightNode) {}

  BTreeNode leftNode;   // the node that split; it keeps the lower part
  int32_t pivot;        // the separator to post between the two nodes
  BTreeNode rightNode;  // the new node with the upper part
};

}  // namespace core::btree

#endif  // CORE_BTREE_SPLIT_INFO_H_
