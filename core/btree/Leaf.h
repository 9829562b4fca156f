// Leaf: the B+-tree's leaf node, one link of the chain of leaves in key order.
//
// A leaf owns its LeafArrayMap (capacity 2 x k_star) and points to its right neighbour.
// Duplicate keys shape the design: when a full leaf splits inside a run of equal keys, no
// separator goes to the parent, and the new right leaf is a chain-only leaf, reached only
// through the chain. So lookups follow the chain as far as the array's result codes ask,
// and insertions and removals follow it within the subtree's upper bound `highKey`: the
// separator right of the subtree whose referenced leaf the tree's descent reached (the
// largest int for the last subtree). A leaf whose first key is below it belongs to it.
//
// Invariants: along the chain keys never decrease; at rest a leaf holds fewer than
// 2 x k_star entries (it splits as soon as it fills up). A leaf that internal nodes
// reference stays in the chain when it empties; a chain-only leaf that a removal empties
// leaves the chain (it stays allocated, owned by the tree's NodePool).
//
// Not thread-safe.
#ifndef CORE_BTREE_LEAF_H_
#define CORE_BTREE_LEAF_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/btree/BTreeNode.h"
#include "core/btree/LeafArrayMap.h"
#include "core/btree/LeafCarrier.h"
#include "core/btree/SplitInfo.h"
#include "util/IntPushOperator.h"

namespace core::btree {

class InternalNodeArrayMap;
class NodePool;

// The leaves a scan from here will likely reach: positions next .. last of the parent's
// children (none by default). Only a prefetching hint: chain-only leaves make the chain
// differ from it.
struct ScanAhead {
  const InternalNodeArrayMap* siblings = nullptr;
  int32_t next = 0;
  int32_t last = -1;
};

class Leaf final : public BTreeNode {
 public:
  // An empty leaf for 2 x k_star entries kept in `storage`: 4 x k_star zero-filled ints that
  // outlive the leaf (NodePool puts them right behind the leaf).
  // REQUIRES: k_star within BTreeConstants' limits (the tree checks it once).
  Leaf(int32_t k_star, int32_t* storage);

  // Stores key -> value after every equal key it can reach within the subtree (this leaf
  // and the following leaves that start below highKey), and splits the leaf that took it
  // when that leaf fills up. Returns the split to post to the parent, or nothing (also
  // for a split inside a run of equal keys). `carrier`, when given, receives the leaf that
  // took the entry, before any split. New leaves come from `pool`. lowKey is not used.
  std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                               LeafCarrier* carrier, NodePool& pool) override;
  // Pushes every value of `key` in stored order, walking the chain while the entries say
  // the run may go on, then calls op.thatsallfolks() once.
  void get(int32_t key, util::IntPushOperator& op) override;
  bool isEmpty() const override { return entries_.size() == 0; }
  bool isLeaf() const override { return true; }
  // Pushes every value whose key lies in [lowKey, highKey] in key order, then calls
  // op.thatsallfolks() once.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override {
    queryRange(lowKey, highKey, op, ScanAhead{});
  }
  // The same, asking for the leaves `ahead` names a few steps ahead of the chain walk.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op, ScanAhead ahead);
  // Removes the first mapping key -> value, or every mapping of the key when value is
  // BTreeConstants::ALL_MAPPINGS, here and along the chain while the entries say matching
  // ones may follow, within highKey; a following leaf that empties leaves the chain.
  // lowKey is not used.
  void remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) override;
  void toDot(util::OutputStream& out) override;

  // Deletes every entry whose value is `value`, whatever its key, in this leaf or, when it
  // holds none, in the first leaf along the chain that does; stops after that leaf. Leaves
  // stay in the chain, also when they empty.
  void removeValue(int32_t value);

  // "[5=50, 7=70]".
  std::string toString() const;

  Leaf* getNextLeaf() const { return nextLeaf_; }
  const LeafArrayMap& getEntries() const { return entries_; }
  int32_t getKStar() const { return k_star_; }

 private:
  // Splits this full leaf: the upper half moves into a new leaf linked in after this one.
  // Returns the split to post, or nothing when it fell inside a run of equal keys.
  std::optional<SplitInfo> split(NodePool& pool);
  // Whether the next leaf still belongs to the subtree whose upper bound is highKey.
  bool nextInSubtree(int32_t key, int32_t highKey) const;
  // For an empty leaf: whether a following leaf of the subtree holds an entry that must
  // stay before key -> value (a key <= `key`), so that storing the entry here would break
  // the order of the chain.
  bool laterLeafPrecedes(int32_t key, int32_t highKey) const;

  int32_t k_star_;  // first: it fits into the padding behind the base class
  LeafArrayMap entries_;
  Leaf* nextLeaf_ = nullptr;
};

}  // namespace core::btree

#endif  // CORE_BTREE_LEAF_H_
