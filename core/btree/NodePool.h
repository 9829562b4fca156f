// NodePool: the storage of one B+-tree's nodes, each a block of whole 64-byte lines in one
// arena, named by a 32-bit handle.
//
// Leaves come from the arena's bulk region, internal nodes from its dense region: the
// internal levels, a few percent of the tree, lie together on few pages that stay in the
// TLB and the cache, so that a lookup's likely misses are on its leaf alone.
//
// A leaf block is an 8-byte header (entry count, next leaf's handle) followed by the keys and
// then the values of 2 x k_star - 1 entries; an internal block is the key count, 2 x k - 1
// keys and 2 x k child handles (NodeLayout.h places the fields; leafBlock and internalBlock
// hand out those views). At k = k_star = 16 both are exactly four lines. A node never
// holds its 2 x k_star-th entry (2 x k-th key) in place: the insertion that would fill it
// splits it at once, producing the two nodes that inserting and then splitting would. Nodes
// carry no kind, parameters or identity: k and k_star live here, a node's kind follows from
// its level (which the tree knows), and its identity number is its handle.
//
// Handle 0 names no node; kSentinel is never handed out (it marks an unset first child).
// Nodes are only ever added: a node lives as long as its pool, even when removal has
// unlinked it from the leaf chain. Not thread-safe.
#ifndef CORE_BTREE_NODE_POOL_H_
#define CORE_BTREE_NODE_POOL_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/btree/BlockSearch.h"
#include "core/btree/NodeLayout.h"
#include "util/Arena.h"

namespace core::btree {

class BTreeNode;
class InternalNode;
class Leaf;

class NodePool {
 public:
  // No node.
  static constexpr NodeHandle kNoNode = 0;
  // The "first child not yet set" mark of an internal node; never a node's handle.
  static constexpr NodeHandle kSentinel = 0xFFFFFFFFu;

  // REQUIRES: k and k_star within BTreeConstants' limits (the tree checks them once).
  NodePool(int32_t k, int32_t k_star);
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  // An empty leaf with no next leaf; its first key slot reads 0.
  Leaf newLeaf();
  // An internal node without keys at `level` (1 just above the leaves); its first child slot
  // holds kSentinel.
  InternalNode newInternalNode(int32_t level);
  // An internal node with one key and two children, one level above `left`.
  InternalNode newInternalNode(const BTreeNode& left, int32_t key, const BTreeNode& right);

  // The ints of a block, for prefetching; leafBlock and internalBlock name its fields.
  [[gnu::always_inline]] int32_t* block(NodeHandle handle) const {
    return arena_.as<int32_t>(handle);
  }
  [[gnu::always_inline]] LeafBlock leafBlock(NodeHandle leaf) const {
    return LeafBlock(block(leaf), leafCapacity());
  }
  [[gnu::always_inline]] InternalBlock internalBlock(NodeHandle node) const {
    return InternalBlock(block(node), internalCapacity());
  }

  int32_t k() const { return k_; }
  int32_t kStar() const { return k_star_; }
  // Entries a leaf holds at most (2 x k_star - 1), keys an internal node holds at most
  // (2 x k - 1).
  int32_t leafCapacity() const { return 2 * k_star_ - 1; }
  int32_t internalCapacity() const { return 2 * k_ - 1; }
  size_t leafBlockBytes() const { return leafLines_ * util::Arena::kLineBytes; }
  // The lines of keys an internal node's search reads at once (BlockSearch.h), 0 for nodes
  // that are bisected.
  int internalKeyLines() const { return internalKeyLines_; }
  size_t internalBlockBytes() const { return internalLines_ * util::Arena::kLineBytes; }

  // Prefetching, always inlined: GCC drops calls to an out-of-line function that only
  // prefetches. Each asks for at most eight lines of one block.
  //
  // The lines of a leaf behind its first, which a lookup reads right after the first: the
  // search then finds its keys, and the scan its values, arriving together.
  [[gnu::always_inline]] void prefetchLeafEntries(NodeHandle leaf) const {
    prefetchLines(block(leaf), 1, leafLines_);
  }
  // Every line of a leaf: for a leaf a range scan will reach soon.
  [[gnu::always_inline]] void prefetchLeaf(NodeHandle leaf) const {
    prefetchLines(block(leaf), 0, leafLines_);
  }
  // The first and the last line of an internal block's children, which a descent reads one
  // of right after the search (that reads the key lines itself): both are asked for on
  // arrival, so that the child's handle does not wait for the search.
  [[gnu::always_inline]] void prefetchChildLines(const int32_t* internalBlock) const {
    const auto* bytes = reinterpret_cast<const char*>(internalBlock);
    __builtin_prefetch(bytes + firstChildLineBytes_);
    __builtin_prefetch(bytes + lastChildLineBytes_);
  }

  // How many nodes of each kind the pool has made.
  int64_t leafCount() const { return leafCount_; }
  int64_t internalNodeCount() const { return internalNodeCount_; }

  // Every byte the pool holds from malloc: the arena's chunks, used or not, and its tables.
  int64_t allocatedBytes() const { return arena_.allocatedBytes(); }

 private:
  [[gnu::always_inline]] static void prefetchLines(const int32_t* block, uint32_t from,
                                                   uint32_t lines) {
    constexpr uint32_t kMaxLines = 8;
    const auto* bytes = reinterpret_cast<const char*>(block);
    lines = std::min(lines, kMaxLines);
    for (uint32_t line = from; line < lines; ++line)
      __builtin_prefetch(bytes + line * util::Arena::kLineBytes);
  }
  // A block of `lines` from `region`, never the sentinel's handle.
  NodeHandle allocate(uint32_t lines, util::Arena::Region region);

  util::Arena arena_;
  int32_t k_;
  int32_t k_star_;
  uint32_t leafLines_;
  uint32_t internalLines_;
  int internalKeyLines_;
  // Offsets of the first and the last line holding child handles in an internal block.
  uint32_t firstChildLineBytes_;
  uint32_t lastChildLineBytes_;
  int64_t leafCount_ = 0;
  int64_t internalNodeCount_ = 0;
};

}  // namespace core::btree

#endif  // CORE_BTREE_NODE_POOL_H_
