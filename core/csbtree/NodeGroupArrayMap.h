// NodeGroupArrayMap: the internal nodes of one node group, in the group's block.
//
// A view over one node-group block of the tree's GroupStore (see there for the layout):
// copying the map copies the view. Node i has a slot of its own that starts on a cache line:
// its m keys, then its key count and the handle of its child group. Node i holds
// currentSizes[i] non-decreasing keys; the rest of its key slots hold kUnusedKey, the largest
// int. The keys of a node slot, filler included, are therefore non-decreasing as a whole, so
// a search can cover the whole slot without first reading the node's size: the first slot >=
// key is the same as among the node's keys alone, and the first slot > key only needs capping
// at the size (a key equal to the largest int passes the filler). Instead of one reference
// per child, node i holds one handle, to the group that holds all of its s + 1 children:
// child j of node i is member j of that group and covers the keys from separator j - 1 to
// separator j. A search therefore reads one contiguous block of m keys.
//
// A child handle 0 is the sentinel NodeGroup::NULL_NODE: a node whose child has not been set.
// The map does not own its children: every group belongs to the tree's store. A node split
// and a group split make new blocks of the new exact size and free the old one, so the map's
// handle changes; the header (identity number, level) goes with the lower part.
//
// Positions returned by getIntervalPosition and getFirstIntervalPosition and taken by
// splitNode are absolute indexes into the keys as if the node slots lay end to end, node i's keys
// at i x m (64-bit: nodes x m may exceed 32 bits); positions taken by put, and the child numbers of
// lastChildFor and firstChildFor, are relative to the start of the node.
//
// Preconditions not checked in release builds: node numbers lie in 0 .. numberOfNodes - 1,
// and put is only called on a node that is not full. Not thread-safe.
#ifndef CORE_CSBTREE_NODE_GROUP_ARRAY_MAP_H_
#define CORE_CSBTREE_NODE_GROUP_ARRAY_MAP_H_

#include <cstdint>
#include <limits>
#include <string>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/GroupStore.h"
#include "core/csbtree/KeySearch.h"

namespace core::csbtree {

class NodeGroupArrayMap {
 public:
  // The content of every key slot beyond a node's keys.
  static constexpr int32_t kUnusedKey = std::numeric_limits<int32_t>::max();

  // A new block: one node without keys whose child is the sentinel, at `level`.
  explicit NodeGroupArrayMap(GroupStore& store, int32_t level = 1)
      : NodeGroupArrayMap(store, 1, level) {}
  // A new block: `numberOfNodes` nodes without keys and without children, at `level`.
  NodeGroupArrayMap(GroupStore& store, int32_t numberOfNodes, int32_t level);
  // The map in the node-group block `handle`.
  NodeGroupArrayMap(GroupStore& store, GroupHandle handle) : store_(&store), handle_(handle) {}

  // Plain bisection over a[low .. high] (high inclusive): the first matching position the
  // bisection meets, which among equal keys need not be the leftmost, or -(insertion point)
  // - 1 when there is none.
  static int64_t binarySearch(const int32_t* a, int32_t key, int64_t low, int64_t high);

  // Absolute position of the child interval of `key` in `node`, by the bisection above: on a
  // hit at p, p + 1 (a key equal to a separator belongs right of it); on a miss, the
  // insertion point; -1 when the node has no keys. Where a node holds one separator equal
  // to `key` this is the same child as lastChildFor; among several equal separators it is
  // the child right of whichever one the bisection meets first, so the descents use the two
  // helpers below instead. The node split takes its position from here: where the new
  // separator goes among equal ones does not change the keys that come out.
  int64_t getIntervalPosition(int32_t key, int32_t node) const {
    const int32_t size = keyCount(node);
    if (size == 0)
      return -1;
    const int64_t hit = binarySearch(keys(node), key, 0, size - 1);
    return nodeStart(node) + (hit >= 0 ? hit + 1 : -hit - 1);
  }
  // Absolute position of the first child interval of `node` that may hold `key`: the position
  // of the first separator >= key, or -1 when the node has no keys; firstChildFor is the
  // same as a child number. Lookups and removals descend here. It prevents lost mappings: a
  // leaf split inside a run of equal keys makes a separator equal to keys it leaves on its
  // left, and a descent right of that separator (or right of any one of several equal ones)
  // would not see them, so a get or queryRange would miss them and a remove leave them.
  int64_t getFirstIntervalPosition(int32_t key, int32_t node) const {
    return keyCount(node) == 0 ? -1 : nodeStart(node) + firstChildFor(key, node);
  }
  // Both child-number searches cover the whole slot of the node, filler included (see above).
  int32_t firstChildFor(int32_t key, int32_t node) const {
    const int32_t* first = keys(node);
    return static_cast<int32_t>(countedLowerBound(first, store_->m(), key) - first);
  }
  // The last child interval of `node` that may hold `key`, as a child number 0 .. s (0 for a
  // node without keys): the child before the first separator greater than `key`, right of
  // every separator equal to it. Insertions descend here. It prevents duplicates out of
  // insertion order: among several equal separators a descent into a middle child would
  // store a new mapping before mappings of its key that were stored earlier in the children
  // further right, and lookups would then deliver it before them.
  int32_t lastChildFor(int32_t key, int32_t node) const {
    const int32_t* first = keys(node);
    const auto child = static_cast<int32_t>(countedUpperBound(first, store_->m(), key) - first);
    const int32_t size = keyCount(node);
    return child < size ? child : size;
  }

  bool isNodeFull(int32_t node) const { return keyCount(node) >= store_->m(); }
  // Inserts `key` into `node` at relative position `pos` (appending when pos >= its size).
  // The child handle is untouched: the child group has already grown by one member.
  void put(int32_t key, int32_t pos, int32_t node);
  // Splits `node` around the new separator `key`, whose absolute interval position is `pos`:
  // of the node's keys and `key`, the middle one moves up and is returned, the lower ones stay
  // in `node` and the upper ones go to a new node `node` + 1 that references `newChild`.
  // Later nodes move up by one. The map moves to a new block.
  int32_t splitNode(int32_t key, int64_t pos, int32_t node, CSBTreeNode newChild);
  // The same, keeping the lowest `lowerKeys` (at most the node's size) of the node's keys and
  // `key` in `node`; the next one moves up. splitNode above keeps (size + 1) / 2.
  int32_t splitNode(int32_t key, int64_t pos, int32_t node, CSBTreeNode newChild,
                    int32_t lowerKeys);
  // Keeps the lower ceil(n / 2) nodes (in a new block, with the header) and returns a map
  // with the others (a new block without identity number).
  NodeGroupArrayMap splitNodeGroup();
  // The same, keeping the lowest `lowerNodes` (at most all) nodes.
  NodeGroupArrayMap splitNodeGroup(int32_t lowerNodes);
  // "101 | 5.9/ 202 | 12/ ": per node the child's identity number (or "NULL" for the
  // sentinel) and " | ", then its keys separated by "." with "/ " after the last.
  std::string toString() const;

  // --- Access for the node group, the graph output and the consistency check.

  int32_t getM() const { return store_->m(); }
  int32_t getNumberOfNodes() const { return header()->members; }
  int32_t level() const { return header()->level; }
  int32_t keyCount(int32_t node) const { return meta(node)->size; }
  // Key slot i (0 .. m - 1) of `node`: a key for i < keyCount(node), else kUnusedKey.
  int32_t keyAt(int32_t node, int32_t i) const { return keys(node)[i]; }
  // The child group of `node`; NodeGroup::NULL_NODE (a null group) when it has not been set.
  CSBTreeNode getChild(int32_t node) const { return CSBTreeNode(store_, childHandle(node)); }
  GroupHandle childHandle(int32_t node) const { return meta(node)->child; }
  void setChild(int32_t node, CSBTreeNode child) { meta(node)->child = child.handle(); }
  GroupHandle handle() const { return handle_; }
  GroupStore& store() const { return *store_; }
  GroupHeader* header() const { return store_->header(handle_); }
  // Returns the block to the store's arena; the map must not be used afterwards.
  void release();

 private:
  int64_t nodeStart(int32_t node) const { return static_cast<int64_t>(node) * store_->m(); }
  int32_t* keys(int32_t node) const { return store_->nodeKeys(store_->at(handle_), node); }
  NodeSlotMeta* meta(int32_t node) const { return store_->nodeMeta(keys(node)); }
  // Copies `count` whole node slots (keys, size, child) from node `fromNode` of `from` to node
  // `toNode` of this map.
  void copyNodes(const NodeGroupArrayMap& from, int32_t fromNode, int32_t count, int32_t toNode);

  GroupStore* store_;
  GroupHandle handle_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_NODE_GROUP_ARRAY_MAP_H_
