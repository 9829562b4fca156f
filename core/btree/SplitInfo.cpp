#include "core/btree/SplitInfo.h"

namespace core::btree {

SplitInfo::SplitInfo(BTreeNode* leftNode, int32_t pivot, BTreeNode* rightNode)
    : leftNode(leftNode), pivot(pivot), rightNode(rightNode) {}

}  // namespace core::btree
