// SplitInfo: what a group tells its parent after an insertion changed the group's shape.
//
// No record at all (an empty optional) means the entry found room and no group moved.
// Otherwise `leftNode` is the group that received the entry, in the block it occupies now
// (a split moves a group), and `pivot` the separator the parent must take into the node that
// references that group:
//  - rightNode null: a member of the group (a node or a leaf) was split inside the group,
//    which now has one member more, right after the member that was split. The parent node
//    had room and inserts `pivot` at the position of the child it descended into.
//  - rightNode set: the group was also split in two because the parent node is full;
//    rightNode holds the upper members and passes to the parent, which splits its own node so
//    that the new node references rightNode.
// A record is made by the group that grew and read once by its parent. The groups belong to
// the tree's store; the record owns nothing.
#ifndef CORE_CSBTREE_SPLIT_INFO_H_
#define CORE_CSBTREE_SPLIT_INFO_H_

#include <cstdint>

#include "core/csbtree/CSBTreeNode.h"

namespace core::csbtree {

struct SplitInfo {
  SplitInfo(CSBTreeNode leftNode, int32_t pivot, CSBTreeNode rightNode)
      : leftNode(leftNode), pivot(pivot), rightNode(rightNode) {}

  CSBTreeNode leftNode;
  int32_t pivot;
  CSBTreeNode rightNode;  // isNull() when no group was split off
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_SPLIT_INFO_H_
