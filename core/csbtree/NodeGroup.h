// NodeGroup: an internal level of the CSB+-tree, a group of sibling internal nodes.
//
// The group holds all internal nodes that are children of one parent node (the root group
// holds exactly one node) in a NodeGroupArrayMap with 4 x k key slots per node. An operation
// names a node by `index`; the group finds the key's child interval in that node and passes
// the operation on to the node's child group, naming the child by its position there. On the
// way back from an insertion it absorbs the child's SplitInfo, splitting its own node and,
// when its parent node is full, itself.
//
// Descents: an insertion goes to the last child that may hold the key (a key equal to a
// separator goes right of it), so a new mapping lands after every stored mapping of its key.
// Lookups and removals go to the first child that may hold the key and let the leaf level
// walk right: a leaf split inside a run of equal keys leaves keys equal to the new separator
// on its left.
//
// Invariants in a tree: node i with s keys references a child group of exactly s + 1
// members, all node groups or all leaf groups; the root group's single node holds 1 .. 4k
// keys, every other node 2k .. 4k. Removal never changes a node group.
//
// NULL_NODE is the sentinel child of a node whose child has not been set; it has no nodes
// and is never descended into. The group owns its child groups through its array map.
// Not thread-safe.
#ifndef CORE_CSBTREE_NODE_GROUP_H_
#define CORE_CSBTREE_NODE_GROUP_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/NodeGroupArrayMap.h"

namespace core::csbtree {

class NodeGroup final : public CSBTreeNode {
 public:
  static NodeGroup NULL_NODE;

  // A group of one node with the single key `key` whose child group is `child`.
  NodeGroup(std::unique_ptr<CSBTreeNode> child, int32_t key, int32_t k);
  // A group over existing nodes (the upper half of a group split).
  NodeGroup(int32_t k, NodeGroupArrayMap entries);

  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier) override;
  void get(int32_t index, int32_t key, util::IntPushOperator& op) override;
  bool isEmpty() const override { return entries_.getNumberOfNodes() == 0; }
  bool isFull(int32_t index) const override { return entries_.isNodeFull(index); }
  bool isLeaf() const override { return false; }
  void queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                  util::IntPushOperator& op) override;
  void remove(int32_t index, int32_t key, int32_t value, int32_t lowKey, int32_t highKey) override;
  // Writes this group's record, then per node the edge to its child group, each followed by
  // the child's own records when the child is a node group. Leaf groups are written by the
  // tree's walk along the chain.
  void toDot(util::OutputStream& out) override;
  // This group, its arrays and, recursively, every child group.
  int64_t allocatedBytes() const override;
  const int32_t* keyBlock() const override { return entries_.keyBlock(); }
  const int32_t* valueBlock() const override { return nullptr; }
  int32_t memberStride() const override { return entries_.getM(); }

  // Splits node `index` around `key`, the new node referencing `newChild`, and reports the
  // key that moved up; when `parentFull`, the group is split as well and the report carries
  // the new upper group. Node `index` must hold keys (add splits only a full node).
  SplitInfo split(int32_t key, std::unique_ptr<CSBTreeNode> newChild, bool parentFull,
                  int32_t index);

  // "[" + the array map's text + "]".
  std::string toString() const;

  const NodeGroupArrayMap& getEntries() const { return entries_; }

 private:
  NodeGroup();  // the sentinel: no nodes, k = 0

  NodeGroupArrayMap entries_;
  int32_t k_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_NODE_GROUP_H_
