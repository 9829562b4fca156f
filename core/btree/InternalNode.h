// InternalNode: the B+-tree's inner node, routing every operation to one child.
//
// It owns an InternalNodeArrayMap of capacity 2 x k. On the way down, route() picks the
// child for a key and narrows the subtree bounds that insertion and removal hand to the
// leaves; on the way back up, absorb() posts a child's split into the entries and splits
// the node when it reaches 2 x k keys. add is those two steps around the child's add; the
// tree's own descent loop takes the same two steps. It never merges, shrinks or rebalances.
//
// Invariants at rest in a tree: 1 <= keys <= 2 x k - 1, one child more than keys, all
// children of one kind and depth. NULL_NODE is a sentinel that is never part of a tree: it
// marks a first child slot not yet set.
//
// Not thread-safe.
#ifndef CORE_BTREE_INTERNAL_NODE_H_
#define CORE_BTREE_INTERNAL_NODE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/btree/BTreeNode.h"
#include "core/btree/InternalNodeArrayMap.h"
#include "core/btree/SplitInfo.h"

namespace core::btree {

class NodePool;

class InternalNode final : public BTreeNode {
 public:
  // The shared "first child not yet set" mark; printed as NULL. It has no keys and k 0.
  static InternalNode NULL_NODE;

  // A node without keys for up to 2 x k keys, kept in `storage` for 2 x k keys (NodePool
  // puts it right behind the node); its first child slot holds NULL_NODE.
  // REQUIRES: k within BTreeConstants' limits (the tree checks it once).
  InternalNode(int32_t k, InternalNodeArrayMap::Storage storage);
  // A node with one key and two children, as a new root over a split.
  InternalNode(BTreeNode* left, int32_t key, BTreeNode* right, int32_t k,
               InternalNodeArrayMap::Storage storage);

  // Routes to the child, calls its add and absorbs its split.
  // REQUIRES: the node has keys (every node of a tree has); throws std::logic_error if not,
  // as there is no child to take the entry.
  std::optional<SplitInfo> add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                               LeafCarrier* carrier, NodePool& pool) override;
  // The child's get; a node without keys pushes nothing and ends the lookup.
  void get(int32_t key, util::IntPushOperator& op) override;
  // No keys and no first child (an unset slot or the sentinel). Never so in a tree, also
  // after every mapping is removed.
  bool isEmpty() const override;
  bool isLeaf() const override { return false; }
  // The child's queryRange for lowKey: the leaf level walks on to the end of the range. A
  // node without keys pushes nothing and ends the lookup.
  void queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override;
  // The child's remove, with the child's bounds; nothing else changes here. A node without
  // keys has nothing to remove.
  void remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) override;
  // Writes this node, its edges and, after each edge, the subtree of an internal child.
  void toDot(util::OutputStream& out) override;

  // "[NULL | 10 | 11 | 20 | 12]".
  std::string toString() const;

  // The child whose interval holds `key`, with the bounds of that child's subtree inside
  // this node's bounds: the separators left and right of the child, or this node's own
  // lowKey and highKey at its ends.
  // REQUIRES: the node has keys (every node of a tree has).
  struct Route {
    BTreeNode* child;
    int32_t lowKey;
    int32_t highKey;
  };
  Route route(int32_t key, int32_t lowKey, int32_t highKey) const {
    const int32_t pos = entries_.childPosition(key);
    return {entries_.nodeAt(pos), pos == 0 ? lowKey : entries_.keyAt(pos - 1),
            pos == entries_.size() ? highKey : entries_.keyAt(pos)};
  }
  // Posts a child's split into the entries (the split's left node is already in place: the
  // child route() chose, or a chain-only leaf after it) and splits this node when that
  // fills it. Returns this node's split, or nothing.
  std::optional<SplitInfo> absorb(const SplitInfo& childSplit, NodePool& pool);

  const InternalNodeArrayMap& getEntries() const { return entries_; }
  int32_t getK() const { return k_; }

 private:
  struct SentinelTag {};
  explicit InternalNode(SentinelTag);

  // Splits this full node around its middle key into a new right node.
  SplitInfo split(NodePool& pool);

  int32_t k_;  // first: it fits into the padding behind the base class
  InternalNodeArrayMap entries_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_INTERNAL_NODE_H_
