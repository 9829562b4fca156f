// NodePool: allocates and owns every node of one B+-tree.
//
// Each node lives in one block together with its entry arrays, so that a search touches the
// node and its keys in neighbouring cache lines instead of following pointers to separate
// arrays. Blocks are carved one after another out of large zero-filled chunks: no per-node
// allocation, no allocator header between nodes, and an exact count of the bytes held.
// Nodes never own each other: children, the leaf chain and the tree's root are plain
// pointers into the pool. So a node lives exactly as long as its tree, even after removal
// has unlinked it from the chain, and destroying a tree of any size is a flat loop rather
// than a recursion over the chain. Nodes are only ever added.
//
// Not thread-safe.
#ifndef CORE_BTREE_NODE_POOL_H_
#define CORE_BTREE_NODE_POOL_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/btree/InternalNode.h"
#include "core/btree/InternalNodeArrayMap.h"
#include "core/btree/Leaf.h"

namespace core::btree {

class NodePool {
 public:
  NodePool();
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool();

  // An empty leaf for 2 x k_star entries.
  // REQUIRES: k_star within BTreeConstants' limits (the tree checks it once).
  Leaf* newLeaf(int32_t k_star);
  // An internal node without keys for up to 2 x k keys.
  // REQUIRES: k within BTreeConstants' limits.
  InternalNode* newInternalNode(int32_t k);
  // An internal node with one key and two children.
  InternalNode* newInternalNode(BTreeNode* left, int32_t key, BTreeNode* right, int32_t k);

  // Prefetching, always inlined: GCC drops calls to an out-of-line function that only
  // prefetches. Each asks for at most eight lines of one block.
  //
  // The lines of a leaf's block behind its first, which a lookup reads right after the
  // first: the search then finds its keys, and the scan its values, arriving together.
  [[gnu::always_inline]] static void prefetchLeafEntries(const Leaf* leaf, int32_t k_star) {
    prefetchLines(leaf, kLineBytes, leafBlockBytes(k_star));
  }
  // Every line of a leaf's block: for a leaf a range scan will reach soon.
  [[gnu::always_inline]] static void prefetchLeaf(const Leaf* leaf, int32_t k_star) {
    prefetchLines(leaf, 0, leafBlockBytes(k_star));
  }
  // Every line of an internal node's block on arrival, so that the search's probes and the
  // chosen child's pointer miss together instead of in turn. (A throughput loop of lookups
  // shows it slower, as its lookups overlap anyway; one lookup at a time is much faster.)
  [[gnu::always_inline]] static void prefetchInternalNode(const InternalNode* node, int32_t k) {
    prefetchLines(node, 0, internalNodeBlockBytes(k));
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

  // Every byte the pool holds: its chunks, used or not, and its list of nodes.
  int64_t allocatedBytes() const {
    return chunkBytes_ + static_cast<int64_t>(chunks_.capacity() * sizeof(chunks_[0]) +
                                              nodes_.capacity() * sizeof(nodes_[0]));
  }

  // Every block starts on a cache line of its own, so that a node's header and first keys
  // share one line: packed at the allocator's 16 bytes, a leaf's header straddled two lines
  // in most places, and lookups measured 5-8 % slower, for 5 % less memory.
  static constexpr size_t kBlockAlignment = 64;
  // Blocks are carved out of chunks that grow to this size; a larger block gets a chunk of
  // its own.
  static constexpr size_t kChunkBytes = size_t{64} << 10;

 private:
  // A zero-filled block of `bytes`, aligned for any node. It also makes room to register
  // the node, so that adopt() cannot fail once the node is built.
  std::byte* allocate(size_t bytes);
  static constexpr size_t kLineBytes = 64;
  // Asks for the lines of the block at `node` from byte `from` up to `bytes` (at most eight
  // lines in all).
  [[gnu::always_inline]] static void prefetchLines(const void* node, size_t from, size_t bytes) {
    constexpr size_t kMaxLines = 8;
    const auto* block = static_cast<const char*>(node);
    bytes = std::min(bytes, kMaxLines * kLineBytes);
    for (size_t offset = from; offset < bytes; offset += kLineBytes)
      __builtin_prefetch(block + offset);
  }
  // `bytes` rounded up to a multiple of `alignment`.
  static constexpr size_t alignUp(size_t bytes, size_t alignment) {
    return (bytes + alignment - 1) / alignment * alignment;
  }
  // Where an internal node's children start in its block: behind the node and its keys,
  // aligned for pointers.
  static size_t internalChildrenOffset(int32_t k) {
    const size_t keysEnd = sizeof(InternalNode) + 2 * static_cast<size_t>(k) * sizeof(int32_t);
    return alignUp(keysEnd, alignof(BTreeNode*));
  }
  // A block for an internal node with parameter k, and where its arrays go.
  std::pair<std::byte*, InternalNodeArrayMap::Storage> allocateInternalNode(int32_t k);
  // Registers a node built at the start of the last allocated block, for destruction.
  void adopt(BTreeNode* node) { nodes_.push_back(node); }

  std::vector<std::unique_ptr<std::byte[]>> chunks_;
  std::byte* free_ = nullptr;  // the unused end of the last chunk
  size_t freeBytes_ = 0;
  int64_t chunkBytes_ = 0;
  std::vector<BTreeNode*> nodes_;  // every node built in one of the chunks
  int64_t leafCount_ = 0;
  int64_t internalNodeCount_ = 0;
};

}  // namespace core::btree

#endif  // CORE_BTREE_NODE_POOL_H_
