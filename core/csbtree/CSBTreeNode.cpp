#include "core/csbtree/CSBTreeNode.h"

namespace core::csbtree {

CSBTreeNode::~CSBTreeNode() = default;

}  // namespace core::csbtree
