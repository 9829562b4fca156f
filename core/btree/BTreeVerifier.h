// BTreeVerifier: checks the structural invariants of one B+-tree, for tests and debugging.
//
// It descends the internal levels to collect the leaves that internal nodes reference,
// with the key interval of each, then walks the leaf chain: referenced leaves must appear
// on it in order, chain-only leaves between them belong to the referenced leaf before
// them, and every key must lie in its subtree's interval and keep the chain sorted. Walks
// are bounded by the pool's node counts, so a cycle is reported rather than followed.
//
// A verifier is used once, for one check. It reads the tree and changes nothing (except
// that naming a node in a message hands out its identity number). Not thread-safe.
#ifndef CORE_BTREE_B_TREE_VERIFIER_H_
#define CORE_BTREE_B_TREE_VERIFIER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/btree/BTreeNode.h"
#include "core/btree/Leaf.h"
#include "core/btree/NodePool.h"

namespace core::btree {

class BTreeVerifier {
 public:
  BTreeVerifier(int32_t k, int32_t k_star, const NodePool& pool);

  // The first broken invariant in words, or nothing. `height` is the number of internal
  // levels the tree believes it has (its lookups trust it to tell node kinds apart). The
  // statistics are compared with a recount unless `statsStale`.
  std::optional<std::string> check(const BTreeNode* root, const Leaf* firstLeaf, int32_t height,
                                   bool statsStale, int64_t leafCount, int64_t elemCount);

 private:
  // A leaf that an internal node (or the tree, for a leaf root) references, with the
  // interval [low, high) of its subtree. 64 bits, so that the open upper end fits.
  struct ReferencedLeaf {
    const Leaf* leaf;
    int64_t low;
    int64_t high;
  };

  std::optional<std::string> checkSubtree(const BTreeNode* node, int64_t low, int64_t high,
                                          int64_t depth);
  std::optional<std::string> checkChain(const Leaf* firstLeaf);
  std::optional<std::string> checkLeaf(const Leaf& leaf, const ReferencedLeaf& subtree,
                                       bool referenced);

  const int32_t k_;
  const int32_t k_star_;
  const NodePool& pool_;
  std::vector<ReferencedLeaf> referenced_;
  std::unordered_map<const Leaf*, size_t> referencedIndex_;
  int64_t leafDepth_ = -1;
  int64_t chainLeaves_ = 0;
  int64_t chainEntries_ = 0;
  std::optional<int32_t> largestKeySoFar_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_B_TREE_VERIFIER_H_
