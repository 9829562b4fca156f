// NodeGroup: an internal level of the CSB+-tree, a group of sibling internal nodes.
//
// A view over one node-group block (NodeGroupArrayMap holds the nodes; GroupStore describes
// the block). The group holds all internal nodes that are children of one parent node (the
// root group holds exactly one node), m = 4 x k key slots each. An operation names a node by
// `index`; the group finds the key's child interval in that node and passes the operation on
// to the node's child group, naming the child by its position there.
//
// get and queryRange are the tree's lookup loop (Lookup.h) started at this group. The descent
// of add and remove is one loop over the levels below this group: per level it searches the node's
// keys, reads the node's child handle from the same slot, computes the child member's
// address from that handle and the member number, and asks for the member's lines at once, so
// that one level costs one round of cache misses. An insertion records its path and, on the
// way back up, absorbs each child's SplitInfo: it stores the child's new block, takes the
// pivot into the node or splits the node and, when the parent node is full, the group.
//
// Descents: an insertion goes to the last child that may hold the key (a key equal to a
// separator goes right of it), so a new mapping lands after every stored mapping of its key.
// Lookups and removals go to the first child that may hold the key and let the leaf level
// walk right: a leaf split inside a run of equal keys leaves keys equal to the new separator
// on its left.
//
// Invariants in a tree: node i with s keys references a child group of exactly s + 1
// members, all at the level below; the root group's single node holds 1 .. 4k keys, every
// other node 2k .. 4k (1 .. 4k under the sequential split rule). Removal never changes a node
// group.
//
// NULL_NODE is the sentinel child of a node whose child has not been set: the null group
// (handle 0), never descended into. Not thread-safe.
#ifndef CORE_CSBTREE_NODE_GROUP_H_
#define CORE_CSBTREE_NODE_GROUP_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/LeafCarrier.h"
#include "core/csbtree/NodeGroupArrayMap.h"
#include "core/csbtree/SplitInfo.h"
#include "util/SplitPolicy.h"

namespace core::csbtree {

class NodeGroup {
 public:
  static const CSBTreeNode NULL_NODE;

  // A new group of one node with the single key `key` whose child group is `child`, one level
  // above it.
  NodeGroup(CSBTreeNode child, int32_t key);
  // The group in block `handle`.
  NodeGroup(GroupStore& store, GroupHandle handle) : entries_(store, handle) {}
  // A group over existing nodes (the upper half of a group split).
  explicit NodeGroup(NodeGroupArrayMap entries) : entries_(entries) {}
  // The node group `group` names. REQUIRES: group is a node group.
  explicit NodeGroup(CSBTreeNode group) : entries_(*group.store(), group.handle()) {}

  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier);
  // The same, splitting full leaves, nodes and groups where `rule` says (util/SplitPolicy.h).
  // The add above splits them in the middle.
  std::optional<SplitInfo> add(int32_t index, int32_t key, int32_t value, bool parentFull,
                               int32_t lowKey, int32_t highKey, LeafCarrier* carrier,
                               util::SplitRule& rule);
  void get(int32_t index, int32_t key, util::IntPushOperator& op) const;
  // Never true for a group the tree builds.
  bool isEmpty() const { return entries_.getNumberOfNodes() == 0; }
  bool isFull(int32_t index) const { return entries_.isNodeFull(index); }
  bool isLeaf() const { return false; }
  void queryRange(int32_t index, int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const;
  void remove(int32_t index, int32_t key, int32_t value, int32_t lowKey, int32_t highKey) const;
  // Writes this group's record, then per node the edge to its child group, each followed by
  // the child's own records when the child is a node group. Leaf groups are written by the
  // tree's walk along the chain.
  void toDot(util::OutputStream& out) const;

  // Splits node `index` around `key`, the new node referencing `newChild`, and reports the
  // key that moved up; when `parentFull`, the group is split as well and the report carries
  // the new upper group. Node `index` must hold keys (add splits only a full node).
  SplitInfo split(int32_t key, CSBTreeNode newChild, bool parentFull, int32_t index);
  // The same after a leaf split that followed a run: `key` joins node `index` as its separator
  // at child number `child` (the child that split), the node splits there (rule.lowerKeys),
  // and the group, when `parentFull`, where the parent node will split.
  SplitInfo split(int32_t key, CSBTreeNode newChild, bool parentFull, int32_t index, int32_t child,
                  const util::SplitRule& rule);

  // "[" + the array map's text + "]".
  std::string toString() const;

  // A view: it names the block the group occupies now.
  NodeGroupArrayMap getEntries() const { return entries_; }
  CSBTreeNode node() const { return CSBTreeNode(&entries_.store(), entries_.handle()); }
  operator CSBTreeNode() const { return node(); }  // NOLINT: a group is a node
  int32_t identityNumber() const { return entries_.store().identityOf(entries_.handle()); }
  GroupHandle handle() const { return entries_.handle(); }

 private:
  NodeGroupArrayMap entries_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_NODE_GROUP_H_
