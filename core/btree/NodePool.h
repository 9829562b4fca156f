// NodePool: allocates and owns every node of one B+-tree.
//
// Each node lives in one allocation together with its entry arrays, so that a search
// touches the node and its keys in neighbouring cache lines instead of following pointers
// to separate arrays. Nodes never own each other: children, the leaf chain and the tree's
// root are plain pointers into the pool. So a node lives exactly as long as its tree, even
// after removal has unlinked it from the chain, and destroying a tree of any size is a flat
// loop rather than a recursion over the chain. Nodes are only ever added.
//
// Not thread-safe.
#ifndef CORE_BTREE_NODE_POOL_H_
#define CORE_BTREE_NODE_POOL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/btree/InternalNode.h"
#include "core/btree/InternalNodeArrayMap.h"
#include "core/btree/Leaf.h"
#include "util/KeySearch.h"

namespace core::btree {

class NodePool {
 public:
  NodePool();
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool();

  // An empty leaf for 2 x k_star entries. Throws std::invalid_argument for a k_star outside
  // BTreeConstants' limits.
  Leaf* newLeaf(int32_t k_star);
  // An internal node without keys for up to 2 x k keys. Throws std::invalid_argument for a
  // k outside BTreeConstants' limits.
  InternalNode* newInternalNode(int32_t k);
  // An internal node with one key and two children.
  InternalNode* newInternalNode(BTreeNode* left, int32_t key, BTreeNode* right, int32_t k);

  // Ask for the cache lines of a node's whole block (the node and its arrays, up to eight
  // lines) without waiting for them. A descent calls this as soon as it knows the next node,
  // so that the lines its search will touch arrive together rather than one miss at a time.
  static void prefetchLeaf(const Leaf* leaf, int32_t k_star) {
    util::prefetchBytes(leaf, leafBlockBytes(k_star));
  }
  static void prefetchInternalNode(const InternalNode* node, int32_t k) {
    util::prefetchBytes(node, internalNodeBlockBytes(k));
  }

  // The size of one node's block: the node, then its arrays.
  static size_t leafBlockBytes(int32_t k_star) {
    return sizeof(Leaf) + 4 * static_cast<size_t>(k_star) * sizeof(int32_t);
  }
  static size_t internalNodeBlockBytes(int32_t k) {
    return internalChildrenOffset(k) + (2 * static_cast<size_t>(k) + 1) * sizeof(BTreeNode*);
  }

  // How many nodes of each kind the pool has made.
  int64_t leafCount() const { return leafCount_; }
  int64_t internalNodeCount() const { return internalNodeCount_; }

 private:
  // A zero-filled block for a node of `nodeBytes` followed by `arrayBytes`. It also makes
  // room to register the node, so that adopt() cannot fail once the node is built.
  std::byte* allocate(size_t nodeBytes, size_t arrayBytes);
  // Where an internal node's children start in its block: behind the node and its keys,
  // aligned for pointers.
  static size_t internalChildrenOffset(int32_t k) {
    const size_t keysEnd = sizeof(InternalNode) + 2 * static_cast<size_t>(k) * sizeof(int32_t);
    return (keysEnd + alignof(BTreeNode*) - 1) / alignof(BTreeNode*) * alignof(BTreeNode*);
  }
  // A block for an internal node with parameter k, and where its arrays go.
  std::pair<std::byte*, InternalNodeArrayMap::Storage> allocateInternalNode(int32_t k);
  // Registers a node built at the start of the last allocated block, for destruction.
  void adopt(BTreeNode* node) { nodes_.push_back(node); }

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::vector<BTreeNode*> nodes_;  // every node built in one of the blocks
  int64_t leafCount_ = 0;
  int64_t internalNodeCount_ = 0;
};

}  // namespace core::btree

#endif  // CORE_BTREE_NODE_POOL_H_
