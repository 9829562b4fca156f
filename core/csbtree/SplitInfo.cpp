#include "core/csbtree/SplitInfo.h"

#include <utility>

#include "core/csbtree/CSBTreeNode.h"

namespace core::csbtree {

SplitInfo::SplitInfo(CSBTreeNode* leftNode, int32_t pivot, std::unique_ptr<CSBTreeNode> rightNode)
    : leftNode(leftNode), pivot(pivot), rightNode(std::move(rightNode)) {}

SplitInfo::SplitInfo(SplitInfo&& other) noexcept = default;
SplitInfo& SplitInfo::operator=(SplitInfo&& other) noexcept = default;
SplitInfo::~SplitInfo() = default;

}  // namespace core::csbtree
