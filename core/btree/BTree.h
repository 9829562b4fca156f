// BTree: a B+-tree multimap from signed 32-bit keys to signed 32-bit values.
//
// It keeps every inserted pair: a key may hold several values, a new mapping goes after
// the existing ones, lookups deliver values ascending by key and, within a key, in
// insertion order. Lookups push into an IntPushOperator and end with exactly one
// thatsallfolks() call, also on a tree that never received an entry. Removal deletes
// entries only: nodes are never merged, redistributed or freed, and the height never
// shrinks.
//
// Parameters: k for internal nodes (split on reaching 2 x k keys), k_star for leaves
// (split on reaching 2 x k_star entries). The first insertion creates the root leaf; a
// root split grows a new root. Leaf statistics (count, entries, utilisation) are cached
// and recomputed, by a walk along the leaf chain, on the first read after a change.
//
// Split policy (util/SplitPolicy.h): SplitPolicy::kPositional (the default) splits every full
// node in the middle; SplitPolicy::kSequential splits a full leaf at the new entry when the
// insertions run in ascending or descending order, and the inner nodes above such a split at
// the new separator, so that in-order ingest leaves full leaves behind. Either way a run of
// equal keys never gets a separator inside it, and the leaves and inner nodes keep at least one
// entry (key) on each side of a split.
//
// The tree owns all its nodes (NodePool): blocks of whole cache lines named by 32-bit
// handles; it keeps the root's handle and its height, from which every node's kind follows.
// Not thread-safe: even the statistics getters write the cache.
#ifndef CORE_BTREE_B_TREE_H_
#define CORE_BTREE_B_TREE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/btree/BTreeNode.h"
#include "core/btree/InternalNode.h"
#include "core/btree/Leaf.h"
#include "core/btree/LeafCarrier.h"
#include "core/btree/NodePool.h"
#include "util/IntPushOperator.h"
#include "util/OutputStream.h"
#include "util/SplitPolicy.h"

namespace core::btree {

class BTree {
 public:
  // Throws std::invalid_argument unless 2 <= k <= BTreeConstants::kMaxParameter and
  // 1 <= k_star <= BTreeConstants::kMaxParameter (k is checked first).
  BTree(int32_t k, int32_t k_star);
  // The same, splitting full nodes as `policy` says.
  BTree(int32_t k, int32_t k_star, util::SplitPolicy policy);

  BTree(const BTree&) = delete;
  BTree& operator=(const BTree&) = delete;

  // The root's text form ("[]" before the first insertion).
  std::string toString() const;

  void add(int32_t key, int32_t value);
  // As add(key, value); `carrier` receives the leaf that took the entry.
  void add(int32_t key, int32_t value, LeafCarrier& carrier);
  // Every value of `key`, then thatsallfolks() once.
  void get(int32_t key, util::IntPushOperator& op);
  // Every value with lowKey <= key <= highKey, then thatsallfolks() once. Nothing for
  // lowKey > highKey.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op);
  // Removes every mapping of `key`.
  void remove(int32_t key);
  // Removes the first mapping key -> value (every mapping when value is ALL_MAPPINGS).
  void remove(int32_t key, int32_t value);
  // Number of mappings.
  int64_t size();

  // Leaf statistics; leaves that emptied but stay in the chain count.
  int64_t getElemCount();
  int64_t getLeafCount();
  // Entries / (2 x k_star x leaves); NaN for a tree without leaves.
  double getLeafUtilization();
  // elements / (2 x k_star x leaves) with the slot count formed in 64 bits, so that no tree
  // size overflows it; NaN for no leaves. Public so that sizes no test can build can still
  // be checked. The CSB+-tree's has the same shape.
  static double leafUtilizationOf(int64_t elements, int64_t leaves, int32_t k_star);
  util::SplitPolicy splitPolicy() const { return rule_.policy(); }
  // Bytes the tree has allocated and still holds: the pool's chunks, used or not, and its
  // tables. Nodes are never freed, so this never shrinks.
  int64_t allocatedBytes() const { return pool_.allocatedBytes(); }
  // Writes "leafUtilization:\t<u>\tleafCount:\t<n>\telementCount:\t<m>\t" to standard
  // output, without a line end.
  void printStats();

  // Writes the tree as a Graphviz digraph to `out`, then flushes and closes it. Every node
  // line and every edge is one write. An I/O error is reported ("could not write dotty" on
  // standard output, details on standard error) and skips the rest of the step it hit.
  void toDot(util::OutputStream& out);

  // Checks the tree's invariants: key order inside every node and along the leaf chain,
  // separators bounding their subtrees, fill limits, child counts, equal leaf depth (and the
  // recorded height, which lookups trust to tell node kinds apart), every
  // referenced leaf on the chain, and the cached statistics (when fresh) against a recount.
  // Returns the first violation found, or nothing. A diagnostic: no operation calls it.
  std::optional<std::string> verify() const;

 private:
  void addEntry(int32_t key, int32_t value, LeafCarrier* carrier);
  // The leaf that insertion and removal of `key` start at, with its subtree's bounds.
  // Appends the internal nodes passed to `path` when given. REQUIRES: a root.
  struct LeafRoute {
    NodeHandle leaf;
    int32_t lowKey;
    int32_t highKey;
  };
  LeafRoute routeToLeaf(int32_t key, std::vector<NodeHandle>* path) const;
  // A lookup's way down to `key`: the leaf where it starts, and the internal node just
  // above it (the last level's parent) with the leaf's position there.
  struct Descent {
    NodeHandle leaf;
    InternalBlock parent{nullptr, 0};
    int32_t position;
  };
  // REQUIRES: an internal root (height_ >= 1). descend is the loop for one search shape,
  // descendTo picks the pool's.
  template <int KeyLines>
  Descent descend(int32_t key) const;
  Descent descendTo(int32_t key) const;
  // The leaf where a lookup of `key` starts, or kNoNode for a tree without one.
  NodeHandle findLeaf(int32_t key) const;
  BTreeNode rootNode() const { return BTreeNode(&pool_, root_, height_); }
  void calculateStats();

  int32_t k_;
  int32_t k_star_;
  mutable NodePool pool_;
  NodeHandle root_ = NodePool::kNoNode;       // a leaf until the first root split
  NodeHandle firstLeaf_ = NodePool::kNoNode;  // start of the leaf chain; never changes once set
  int32_t height_ = 0;            // internal levels above the leaves: one more per root split
  std::vector<NodeHandle> path_;  // add's way down, kept to spare an allocation per add
  util::SplitRule rule_;          // where full nodes split; remembers the key added last
  int64_t elemCount_ = 0;
  int64_t leafCount_ = 0;
  double leafUtilization_ = 0.0;
  bool refreshNeeded_ = true;
};

}  // namespace core::btree

#endif  // CORE_BTREE_B_TREE_H_
