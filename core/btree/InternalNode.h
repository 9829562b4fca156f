// InternalNode: the B+-tree's inner node, routing every operation to one child, as a small
// value that names an internal block of a NodePool and knows its level (1 just above the
// leaves), so that it knows the kind of its children.
//
// A block holds an InternalNodeArrayMap of capacity 2 x k - 1. On the way down, route()
// picks the child for a key and narrows the subtree bounds that insertion and removal hand
// to the leaves; on the way back up, absorb() posts a child's split into the entries and
// splits the node when it would reach 2 x k keys (into the two nodes that posting and then
// splitting would leave, or, after a leaf split that followed an in-order run, right after the
// new separator, each node keeping a key). add is those two steps around the child's add; the
// tree's own descent loop takes the same two steps. It never merges, shrinks or rebalances.
//
// Invariants at rest in a tree: 1 <= keys <= 2 x k - 1, one child more than keys, all
// children of one kind and depth. NULL_NODE names no block: it is the sentinel that marks a
// first child slot not yet set (NodePool::kSentinel), printed as NULL.
//
// Not thread-safe.
#ifndef CORE_BTREE_INTERNAL_NODE_H_
#define CORE_BTREE_INTERNAL_NODE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/btree/BTreeNode.h"
#include "core/btree/InternalNodeArrayMap.h"
#include "core/btree/NodePool.h"
#include "core/btree/SplitInfo.h"
#include "util/SplitPolicy.h"

namespace core::btree {

class InternalNode {
 public:
  // The "first child not yet set" mark: no keys, no first child, no block.
  static const InternalNode NULL_NODE;

  InternalNode() = default;
  InternalNode(NodePool* pool, NodeHandle handle, int32_t level)
      : pool_(pool), handle_(handle), level_(level) {}

  // Routes to the child, calls its add and absorbs its split.
  // REQUIRES: the node has keys (every node of a tree has); throws std::logic_error if not,
  // as there is no child to take the entry.
  std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                               LeafCarrier* carrier) const;
  // The child's get; a node without keys pushes nothing and ends the lookup.
  void get(int32_t key, util::IntPushOperator& op) const;
  // No keys and no first child (an unset slot or the sentinel). Never so in a tree, also
  // after every mapping is removed.
  bool isEmpty() const;
  bool isLeaf() const { return false; }
  // The child's queryRange for lowKey: the leaf level walks on to the end of the range. A
  // node without keys pushes nothing and ends the lookup.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const;
  // The child's remove, with the child's bounds; nothing else changes here. A node without
  // keys has nothing to remove.
  void remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) const;
  // Writes this node, its edges and, after each edge, the subtree of an internal child.
  void toDot(util::OutputStream& out) const;

  // "[NULL | 10 | 11 | 20 | 12]".
  std::string toString() const;

  // The child whose interval holds `key`, with the bounds of that child's subtree inside
  // this node's bounds: the separators left and right of the child, or this node's own
  // lowKey and highKey at its ends.
  // REQUIRES: the node has keys (every node of a tree has).
  struct Route {
    BTreeNode child;
    int32_t lowKey;
    int32_t highKey;
  };
  Route route(int32_t key, int32_t lowKey, int32_t highKey) const {
    const InternalNodeArrayMap entries = getEntries();
    const int32_t pos = entries.childPosition(key);
    return {child(entries.nodeAt(pos)), pos == 0 ? lowKey : entries.keyAt(pos - 1),
            pos == entries.size() ? highKey : entries.keyAt(pos)};
  }
  // Posts a child's split into the entries (the split's left node is already in place: the
  // child route() chose, or a chain-only leaf after it) and splits this node when it has no
  // room for the new key. Returns this node's split, or nothing.
  std::optional<SplitInfo> absorb(const SplitInfo& childSplit) const;
  // The same, splitting this node where `rule` says: at the new separator when the leaf split
  // below followed a run (util/SplitPolicy.h). The absorb above splits in the middle.
  std::optional<SplitInfo> absorb(const SplitInfo& childSplit, const util::SplitRule& rule) const;

  // Splits this node around its middle key (position size() / 2): a new node at the same
  // level takes the keys above it with their children, the middle key goes to neither.
  // Returns (this node, the middle key, the new node); nothing, and no change, for a node
  // with fewer than three keys (a side would be left without keys) and for NULL_NODE.
  std::optional<SplitInfo> split() const;

  // A view of the entries; for NULL_NODE an empty map of no capacity whose first child is
  // the sentinel.
  InternalNodeArrayMap getEntries() const {
    if (pool_ == nullptr)
      return InternalNodeArrayMap(InternalBlock(sentinelBlock(), 0));
    return InternalNodeArrayMap(pool_->internalBlock(handle_));
  }
  int32_t getK() const { return pool_ == nullptr ? 0 : pool_->k(); }

  int32_t identityNumber() const { return static_cast<int32_t>(handle_); }
  NodeHandle handle() const { return handle_; }
  int32_t level() const { return level_; }
  bool operator==(const InternalNode& other) const {
    return pool_ == other.pool_ && handle_ == other.handle_;
  }
  operator BTreeNode() const { return BTreeNode(pool_, handle_, level_); }

 private:
  // A child named by its handle, one level down.
  BTreeNode child(NodeHandle handle) const { return BTreeNode(pool_, handle, level_ - 1); }
  // A node with keys to route by.
  bool hasKeys() const { return getEntries().size() > 0; }
  // NULL_NODE's entries: no keys, the sentinel as first child.
  static int32_t* sentinelBlock();

  NodePool* pool_ = nullptr;
  NodeHandle handle_ = NodePool::kNoNode;
  int32_t level_ = 1;
};

}  // namespace core::btree

#endif  // CORE_BTREE_INTERNAL_NODE_H_
