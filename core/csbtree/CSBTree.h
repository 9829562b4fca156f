// CSBTree: a cache-sensitive B+-tree, an ordered multimap from int keys to int values.
//
// Internal levels are node groups (all children of one node side by side, one reference per
// node) and the bottom level is a chain of leaf groups. The root group is a leaf group of a
// single leaf until that leaf first splits, and from then on a node group of exactly one
// node; each split of that node makes the tree one level higher. `k` sets the node size (4k
// keys), `k_star` the leaf size (2 k_star slots); k must lie in 1 .. kMaxK, k_star in
// 1 .. kMaxKStar (CSBTreeConstants: what 32-bit counts allow).
//
// Multimap rules: a key may hold several values; a new mapping goes after the stored mappings
// of its key; lookups deliver values in ascending key order and, within a key, in stored
// order, and end with one thatsallfolks() call. A leaf split may divide a run of equal keys,
// leaving keys equal to the new separator on its left; lookups and removals descend to the
// first child that may hold the key and walk right, so every mapping of a key is found and
// removed. Removal never merges, shrinks or frees groups.
//
// Split policy (util/SplitPolicy.h): SplitPolicy::kPositional (the default) splits every full
// leaf, node and group in the middle; SplitPolicy::kSequential splits a full leaf at the new
// entry when the insertions run in ascending or descending order, and the nodes and groups
// above such a split at the new separator, so that in-order ingest leaves full leaves and
// nodes behind. Nodes below the root then hold 1 .. 4k keys instead of 2k .. 4k.
//
// A tree that has never received an entry has no groups and behaves as an empty tree.
// Statistics about the leaf level are cached and recounted (one walk along the chain) the
// next time they are read after add or remove.
//
// Memory: every group is one block of whole cache lines in the tree's GroupStore, named by a
// 32-bit handle; splits move groups to new blocks and return the old ones to the store's free
// lists, and the whole store goes with the tree.
// Not thread-safe; reading statistics writes the cache, so no two calls may overlap.
#ifndef CORE_CSBTREE_CSB_TREE_H_
#define CORE_CSBTREE_CSB_TREE_H_

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/GroupStore.h"
#include "core/csbtree/LeafCarrier.h"
#include "util/IntPushOperator.h"
#include "util/OutputStream.h"
#include "util/SplitPolicy.h"

namespace core::csbtree {

class CSBTree {
 public:
  // Throws std::invalid_argument when k lies outside 1 .. CSBTreeConstants::kMaxK or k_star
  // outside 1 .. CSBTreeConstants::kMaxKStar (k is checked first).
  CSBTree(int32_t k, int32_t k_star);
  // The same, splitting full leaves, nodes and groups as `policy` says.
  CSBTree(int32_t k, int32_t k_star, util::SplitPolicy policy);

  CSBTree(const CSBTree&) = delete;
  CSBTree& operator=(const CSBTree&) = delete;
  ~CSBTree();

  void add(int32_t key, int32_t value) { addEntry(key, value, nullptr); }
  // As add(key, value); `carrier` receives the leaf group that stores the entry.
  void add(int32_t key, int32_t value, LeafCarrier& carrier) { addEntry(key, value, &carrier); }
  // Pushes every value of `key`, then calls op.thatsallfolks() once.
  void get(int32_t key, util::IntPushOperator& op);
  // Pushes the values of all keys in [lowKey, highKey] (nothing when lowKey > highKey), then
  // calls op.thatsallfolks() once.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op);
  // Removes every mapping of `key`.
  void remove(int32_t key);

  // Number of stored mappings.
  int64_t size();
  int64_t getElemCount();
  int64_t getLeafCount();
  int64_t getLeafGroupCount();
  // Stored entries per leaf slot; NaN while there are no leaves.
  double getLeafUtilization();
  // elements / (2 x k_star x leaves), the slot count formed in 64 bits (it exceeds 32 bits
  // for large k_star); NaN for no leaves. The B+-tree's has the same shape.
  static double leafUtilizationOf(int64_t elements, int64_t leaves, int32_t k_star);

  util::SplitPolicy splitPolicy() const { return rule_.policy(); }
  // Bytes the tree has allocated and still holds: its store's arena, exactly (chunks whole,
  // free blocks included). The tree object itself is not included.
  int64_t allocatedBytes() const { return store_.arena().allocatedBytes(); }

  // Writes "leafUtilization:\t<u>\tleafCount:\t<n>\telementCount:\t<n>\t" without a line
  // break, to std::cout or to `out`.
  void printStats();
  void printStats(std::ostream& out);
  // Writes the graph description in the dot language to `out`, then flushes and closes it.
  // A failing write, flush or close ends the output: "could not write dotty" goes to
  // std::cout as a line, the cause to std::cerr, and toDot returns normally.
  void toDot(util::OutputStream& out);
  // The root group's text: "[...]" for a node group (see NodeGroupArrayMap::toString),
  // "LeafGroup <id> [...]" for a leaf group, "[]" for a tree without groups.
  std::string toString() const;

  // Operation counters: completed add, get, remove and queryRange calls.
  int64_t getAddCounter() const { return addCounter_; }
  int64_t getGetCounter() const { return getCounter_; }
  int64_t getDelCounter() const { return delCounter_; }
  int64_t getRangeQueryCounter() const { return rangeQueryCounter_; }

  // Checks every structural invariant and returns the first one broken, in words, or nothing
  // when all hold. A diagnostic for tests: it walks the whole tree and no operation calls it.
  std::optional<std::string> verify() const;

  // The groups themselves, for diagnostics and tests (null groups before the first add).
  // Changing them behind the tree's back breaks its invariants; an add may move them.
  CSBTreeNode getRoot() const { return root_; }
  CSBTreeNode getFirstLeaf() const;

 private:
  // Stores the mapping; `carrier`, when not null, receives the leaf group that took it.
  void addEntry(int32_t key, int32_t value, LeafCarrier* carrier);
  void calculateStats();

  int32_t k_;
  int32_t k_star_;
  mutable GroupStore store_;
  CSBTreeNode root_;
  util::SplitRule rule_;  // where full leaves, nodes and groups split; remembers the last key

  // Statistics, valid while refreshNeeded_ is false.
  bool refreshNeeded_ = true;
  int64_t leafGroupCount_ = 0;
  int64_t leafCount_ = 0;
  int64_t elemCount_ = 0;
  double leafUtilization_ = 0.0;

  int64_t addCounter_ = 0;
  int64_t getCounter_ = 0;
  int64_t delCounter_ = 0;
  int64_t rangeQueryCounter_ = 0;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_CSB_TREE_H_
