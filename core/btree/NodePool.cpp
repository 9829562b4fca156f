#include "core/btree/NodePool.h"

#include "core/btree/InternalNode.h"
#include "core/btree/Leaf.h"

namespace core::btree {

NodePool::NodePool() = default;
NodePool::~NodePool() = default;

Leaf* NodePool::newLeaf(int32_t k_star) {
  return leaves_.emplace_back(std::make_unique<Leaf>(k_star)).get();
}

InternalNode* NodePool::newInternalNode(int32_t k) {
  return internalNodes_.emplace_back(std::make_unique<InternalNode>(k)).get();
}

InternalNode* NodePool::newInternalNode(BTreeNode* left, int32_t key, BTreeNode* right, int32_t k) {
  return internalNodes_.emplace_back(std::make_unique<InternalNode>(left, key, right, k)).get();
}

}  // namespace core::btree
