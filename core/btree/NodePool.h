// NodePool: owns every node of one B+-tree.
//
// Nodes never own each other: children, the leaf chain and the tree's root are plain
// pointers into the pool. So a node lives exactly as long as its tree, even after removal
// has unlinked it from the chain, and destroying a tree of any size is a flat loop rather
// than a recursion over the chain. Nodes are only ever added; nothing is freed early.
//
// Not thread-safe.
#ifndef CORE_BTREE_NODE_POOL_H_
#define CORE_BTREE_NODE_POOL_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace core::btree {

class BTreeNode;
class InternalNode;
class Leaf;

class NodePool {
 public:
  NodePool();
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool();

  // An empty leaf for 2 x k_star entries.
  Leaf* newLeaf(int32_t k_star);
  // An internal node without keys for up to 2 x k keys.
  InternalNode* newInternalNode(int32_t k);
  // An internal node with one key and two children.
  InternalNode* newInternalNode(BTreeNode* left, int32_t key, BTreeNode* right, int32_t k);

  // How many nodes of each kind the pool has made.
  int64_t leafCount() const { return static_cast<int64_t>(leaves_.size()); }
  int64_t internalNodeCount() const { return static_cast<int64_t>(internalNodes_.size()); }

 private:
  std::vector<std::unique_ptr<Leaf>> leaves_;
  std::vector<std::unique_ptr<InternalNode>> internalNodes_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_NODE_POOL_H_
