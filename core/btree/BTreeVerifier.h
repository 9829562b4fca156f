// BTreeVerifier: checks the structural invariants of one B+-tree, for tests and debugging.
//
// Nodes carry no kind, so it first walks the leaf chain from the first leaf: the leaves are
// the blocks on it. Then it descends the internal levels to collect the leaves that internal
// nodes reference, with the key interval of each, and checks that they lie at the depth the
// tree records as its height (the tree's descents trust that height to tell node kinds
// apart). Last it walks the chain again: referenced leaves must appear on it in order,
// chain-only leaves between them belong to the referenced leaf before them, and every key
// must lie in its subtree's interval and keep the chain sorted. Walks are bounded by the
// pool's node counts, so a cycle is reported rather than followed.
//
// A verifier is used once, for one check. It reads the tree and changes nothing.
// Not thread-safe.
#ifndef CORE_BTREE_B_TREE_VERIFIER_H_
#define CORE_BTREE_B_TREE_VERIFIER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/btree/NodePool.h"

namespace core::btree {

class BTreeVerifier {
 public:
  explicit BTreeVerifier(const NodePool& pool);

  // The first broken invariant in words, or nothing. `height` is the number of internal
  // levels the tree believes it has. The statistics are compared with a recount unless
  // `statsStale`.
  std::optional<std::string> check(NodeHandle root, NodeHandle firstLeaf, int32_t height,
                                   bool statsStale, int64_t leafCount, int64_t elemCount);

 private:
  // A leaf that an internal node (or the tree, for a leaf root) references, with the
  // interval [low, high) of its subtree. 64 bits, so that the open upper end fits.
  struct ReferencedLeaf {
    NodeHandle leaf;
    int64_t low;
    int64_t high;
  };

  std::optional<std::string> collectChain(NodeHandle firstLeaf);
  std::optional<std::string> checkSubtree(NodeHandle node, int64_t low, int64_t high, int64_t depth,
                                          int32_t height);
  std::optional<std::string> checkChain(NodeHandle firstLeaf);
  std::optional<std::string> checkLeaf(NodeHandle leaf, const ReferencedLeaf& subtree,
                                       bool referenced);
  NodeHandle nextLeaf(NodeHandle leaf) const;

  const NodePool& pool_;
  std::unordered_set<NodeHandle> chainLeaves_;
  std::vector<ReferencedLeaf> referenced_;
  std::unordered_map<NodeHandle, size_t> referencedIndex_;
  int64_t leafDepth_ = -1;
  int64_t chainLeafCount_ = 0;
  int64_t chainEntries_ = 0;
  std::optional<int32_t> largestKeySoFar_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_B_TREE_VERIFIER_H_
