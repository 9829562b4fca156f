// Leaf: the B+-tree's leaf node, one link of the chain of leaves in key order, as a small
// value that names a leaf block of a NodePool.
//
// A leaf block (NodeLayout.h) holds the entry count, the next leaf's handle and a
// LeafArrayMap of capacity 2 x k_star - 1: a leaf holds up to 2 x k_star entries in the sense
// that the 2 x k_star-th splits it at once, so that entry never needs a slot of its own. Duplicate
// keys shape the design: when a full leaf splits inside a run of equal keys, no separator goes to
// the parent, and the new right leaf is a chain-only leaf, reached only through the chain. So
// lookups follow the chain as far as the array's result codes ask, and insertions and removals
// follow it within the subtree's upper bound `highKey`: the separator right of the subtree whose
// referenced leaf the tree's descent reached (the largest int for the last subtree). A leaf whose
// first key is below it belongs to it.
//
// Invariants: along the chain keys never decrease; a leaf holds fewer than 2 x k_star
// entries (the insertion that would make 2 x k_star splits it, into the two halves that
// inserting and then splitting would leave, or, where a util::SplitRule sees an in-order run,
// right after the new entry; each side keeps an entry). A leaf that internal nodes reference stays
// in the chain when it empties; a chain-only leaf that a removal empties leaves the chain (it stays
// allocated in the tree's NodePool). A default Leaf names no leaf.
//
// Not thread-safe.
#ifndef CORE_BTREE_LEAF_H_
#define CORE_BTREE_LEAF_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/btree/BTreeNode.h"
#include "core/btree/LeafArrayMap.h"
#include "core/btree/NodePool.h"
#include "core/btree/SplitInfo.h"
#include "util/IntPushOperator.h"
#include "util/SplitPolicy.h"

namespace core::btree {

class LeafCarrier;

// The leaves a scan from here will likely reach: children[next .. last] of the parent (none
// by default), as far as their separators (child i starts at separators[i - 1]) do not pass
// the range's end. Only a prefetching hint: chain-only leaves make the chain differ from it.
struct ScanAhead {
  const NodeHandle* children = nullptr;
  const int32_t* separators = nullptr;
  int32_t next = 0;
  int32_t last = -1;
};

class Leaf {
 public:
  Leaf() = default;
  Leaf(NodePool* pool, NodeHandle handle) : pool_(pool), handle_(handle) {}

  // Stores key -> value after every equal key it can reach within the subtree (this leaf
  // and the following leaves that start below highKey), and splits the leaf that took it
  // when it has no room. Returns the split to post to the parent, or nothing (also for a
  // split inside a run of equal keys). `carrier`, when given, receives the leaf that took
  // the entry, before any split. New leaves come from the leaf's pool. lowKey is not used.
  std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                               LeafCarrier* carrier) const;
  // The same, splitting a full leaf where `rule` says (util/SplitPolicy.h), which also learns
  // whether that split followed a run. The add above splits in the middle.
  std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                               LeafCarrier* carrier, util::SplitRule& rule) const;
  // Pushes every value of `key` in stored order, walking the chain while the entries say
  // the run may go on, then calls op.thatsallfolks() once.
  void get(int32_t key, util::IntPushOperator& op) const;
  bool isEmpty() const { return layout().count() == 0; }
  bool isLeaf() const { return true; }
  // Pushes every value whose key lies in [lowKey, highKey] in key order, then calls
  // op.thatsallfolks() once.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const {
    queryRange(lowKey, highKey, op, ScanAhead{});
  }
  // The same, asking for the leaves `ahead` names a few steps ahead of the chain walk.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op,
                  ScanAhead ahead) const;
  // Removes the first mapping key -> value, or every mapping of the key when value is
  // BTreeConstants::ALL_MAPPINGS, here and along the chain while the entries say matching
  // ones may follow, within highKey; a following leaf that empties leaves the chain.
  // lowKey is not used.
  void remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) const;
  void toDot(util::OutputStream& out) const;

  // Splits this leaf: a new leaf takes the upper half of the entries (positions size() / 2
  // on) and follows it in the chain. Returns the split to post (this leaf, the new leaf's
  // first key, the new leaf), or nothing when the halves divide a run of equal keys (the new
  // leaf is then a chain-only leaf) or the leaf has fewer than two entries (nothing changes).
  std::optional<SplitInfo> split() const;

  // Deletes every entry whose value is `value`, whatever its key, in this leaf or, when it
  // holds none, in the first leaf along the chain that does; stops after that leaf. Leaves
  // stay in the chain, also when they empty.
  void removeValue(int32_t value) const;

  // "[5=50, 7=70]".
  std::string toString() const;

  // The next leaf of the chain; no leaf (false) after the last.
  Leaf getNextLeaf() const { return Leaf(pool_, nextHandle()); }
  // A view of the entries.
  LeafArrayMap getEntries() const { return LeafArrayMap(layout()); }
  int32_t getKStar() const { return pool_->kStar(); }

  int32_t identityNumber() const { return static_cast<int32_t>(handle_); }
  NodeHandle handle() const { return handle_; }
  explicit operator bool() const { return handle_ != NodePool::kNoNode; }
  bool operator==(const Leaf& other) const {
    return pool_ == other.pool_ && handle_ == other.handle_;
  }
  operator BTreeNode() const { return BTreeNode(pool_, handle_, 0); }

 private:
  [[gnu::always_inline]] LeafBlock layout() const { return pool_->leafBlock(handle_); }
  NodeHandle nextHandle() const { return layout().next(); }
  void setNext(NodeHandle next) const { layout().setNext(next); }
  // Stores the entry at `pos` (as tryAdd or an append would place it), splitting this leaf
  // where `rule` says when it is full. Returns the split to post, or nothing.
  std::optional<SplitInfo> insert(int32_t key, int32_t value, int32_t pos,
                                  util::SplitRule& rule) const;
  // Links `right`, which has just taken this leaf's upper entries, in after this leaf and
  // reports the split as split() does.
  std::optional<SplitInfo> linkSplit(const Leaf& right) const;
  // The rest of a lookup whose run in this leaf answered `code`: the following leaves, then
  // thatsallfolks(). Rare: runs of equal keys that reach a leaf's end, and keys at or past
  // a leaf's last key.
  void getAlongChain(util::LookupResult code, int32_t key, util::IntPushOperator& op) const;
  // Whether the next leaf still belongs to the subtree whose upper bound is highKey.
  bool nextInSubtree(int32_t key, int32_t highKey) const;
  // For an empty leaf: whether a following leaf of the subtree holds an entry that must
  // stay before key -> value (a key <= `key`), so that storing the entry here would break
  // the order of the chain.
  bool laterLeafPrecedes(int32_t key, int32_t highKey) const;

  NodePool* pool_ = nullptr;
  NodeHandle handle_ = NodePool::kNoNode;
};

}  // namespace core::btree

#endif  // CORE_BTREE_LEAF_H_
