// SplitInfo: what a group tells its parent after an insertion changed the group's shape.
//
// No record at all (an empty optional) means the entry found room. Otherwise `leftNode` is
// the group that received the entry and `pivot` the separator the parent must take into the
// node that references that group:
//  - rightNode empty: a member of the group (a node or a leaf) was split inside the group,
//    which now has one member more, right after the member that was split. The parent node
//    had room and inserts `pivot` at the position of the child it descended into.
//  - rightNode set: the group was also split in two because the parent node is full;
//    rightNode holds the upper members and passes to the parent, which splits its own node so
//    that the new node references rightNode.
// A record is made by the group that grew and read once by its parent; ownership of the new
// group travels with it.
#ifndef CORE_CSBTREE_SPLIT_INFO_H_
#define CORE_CSBTREE_SPLIT_INFO_H_

#include <cstdint>
#include <memory>

namespace core::csbtree {

class CSBTreeNode;

struct SplitInfo {
  SplitInfo(CSBTreeNode* leftNode, int32_t pivot, std::unique_ptr<CSBTreeNode> rightNode);
  SplitInfo(SplitInfo&& other) noexcept;
  SplitInfo& operator=(SplitInfo&& other) noexcept;
  ~SplitInfo();

  CSBTreeNode* leftNode;  // not owned
  int32_t pivot;
  std::unique_ptr<CSBTreeNode> rightNode;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_SPLIT_INFO_H_
