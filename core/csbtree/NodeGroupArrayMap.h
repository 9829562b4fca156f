// NodeGroupArrayMap: the internal nodes of one node group, stored for fast searching.
//
// The keys of all nodes lie in one int array, node after node, each node in a slot of fixed
// width `m`: node i holds currentSizes[i] non-decreasing keys at keys[i x m ...]; the rest of
// its slot is filled with kUnusedKey, the largest int. The keys of a node slot, filler
// included, are therefore non-decreasing as a whole, so a search can cover the whole slot
// without first reading the node's size: the first slot >= key is the same as among the
// node's keys alone, and the first slot > key only needs capping at the size (a key equal to
// the largest int passes the filler). Instead of one reference per child, node i holds one
// reference, nodes[i], to the group that holds all of its s + 1 children: child j of node i
// is member j of that group and covers the keys from separator j - 1 to separator j. A search
// therefore reads one contiguous block of at most m keys.
//
// The map owns its child groups (so a tree is owned from its root downwards, and freeing it
// recurses only as deep as the tree is high). A child that has not been set is the sentinel
// NodeGroup::NULL_NODE. The arrays always have exactly numberOfNodes slots; they are
// replaced, never grown, when the node count changes.
//
// Positions returned by getIntervalPosition and getFirstIntervalPosition and taken by
// splitNode are absolute indexes into the key array (64-bit: nodes x m may exceed 32 bits);
// positions taken by put, and the child numbers of lastChildFor and firstChildFor, are
// relative to the start of the node. Both child-number searches cover the whole slot of the
// node, filler included (see above).
//
// Preconditions not checked in release builds: node numbers lie in 0 .. numberOfNodes - 1,
// and put is only called on a node that is not full. Not thread-safe.
#ifndef CORE_CSBTREE_NODE_GROUP_ARRAY_MAP_H_
#define CORE_CSBTREE_NODE_GROUP_ARRAY_MAP_H_

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/csbtree/CSBTreeNode.h"
#include "core/csbtree/KeySearch.h"

namespace core::csbtree {

class NodeGroupArrayMap {
 public:
  // The content of every key slot beyond a node's keys.
  static constexpr int32_t kUnusedKey = std::numeric_limits<int32_t>::max();

  // One node without keys whose child is the sentinel.
  explicit NodeGroupArrayMap(int32_t m);
  // `numberOfNodes` nodes without keys and without children.
  NodeGroupArrayMap(int32_t m, int32_t numberOfNodes);

  NodeGroupArrayMap(NodeGroupArrayMap&&) noexcept;
  NodeGroupArrayMap& operator=(NodeGroupArrayMap&&) noexcept;
  ~NodeGroupArrayMap();

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
    const int32_t size = currentSizes_[node];
    if (size == 0)
      return -1;
    const int64_t start = nodeStart(node);
    const int64_t hit = binarySearch(keys_.get(), key, start, start + size - 1);
    return hit >= 0 ? hit + 1 : -hit - 1;
  }
  // Absolute position of the first child interval of `node` that may hold `key`: the position
  // of the first separator >= key, or -1 when the node has no keys; firstChildFor is the
  // same as a child number. Lookups and removals descend here. It prevents lost mappings: a
  // leaf split inside a run of equal keys makes a separator equal to keys it leaves on its
  // left, and a descent right of that separator (or right of any one of several equal ones)
  // would not see them, so a get or queryRange would miss them and a remove leave them.
  int64_t getFirstIntervalPosition(int32_t key, int32_t node) const {
    return currentSizes_[node] == 0 ? -1 : nodeStart(node) + firstChildFor(key, node);
  }
  int32_t firstChildFor(int32_t key, int32_t node) const {
    const int32_t* first = keys_.get() + nodeStart(node);
    return static_cast<int32_t>(lowerBound(first, m_, key) - first);
  }
  // The last child interval of `node` that may hold `key`, as a child number 0 .. s (0 for a
  // node without keys): the child before the first separator greater than `key`, right of
  // every separator equal to it. Insertions descend here. It prevents duplicates out of
  // insertion order: among several equal separators a descent into a middle child would
  // store a new mapping before mappings of its key that were stored earlier in the children
  // further right, and lookups would then deliver it before them.
  int32_t lastChildFor(int32_t key, int32_t node) const {
    const int32_t* first = keys_.get() + nodeStart(node);
    const int32_t child = static_cast<int32_t>(upperBound(first, m_, key) - first);
    const int32_t size = currentSizes_[node];
    return child < size ? child : size;
  }

  bool isNodeFull(int32_t node) const { return currentSizes_[node] >= m_; }
  // Inserts `key` into `node` at relative position `pos` (appending when pos >= its size).
  // The child reference is untouched: the child group has already grown by one member.
  void put(int32_t key, int32_t pos, int32_t node);
  // Splits `node` around the new separator `key`, whose absolute interval position is `pos`:
  // of the node's keys and `key`, the middle one moves up and is returned, the lower ones stay
  // in `node` and the upper ones go to a new node `node` + 1 that references `newChild`.
  // Later nodes move up by one.
  int32_t splitNode(int32_t key, int64_t pos, int32_t node, std::unique_ptr<CSBTreeNode> newChild);
  // Keeps the lower ceil(n / 2) nodes and returns a map with the others.
  NodeGroupArrayMap splitNodeGroup();
  // Bytes of the three arrays at their allocated lengths.
  int64_t allocatedBytes() const;
  // "101 | 5.9/ 202 | 12/ ": per node the child's identity number (or "NULL" for the
  // sentinel) and " | ", then its keys separated by "." with "/ " after the last.
  std::string toString() const;

  // --- Access for the node group, the graph output and the consistency check.

  int32_t getM() const { return m_; }
  int32_t getNumberOfNodes() const { return numberOfNodes_; }
  int32_t keyCount(int32_t node) const { return currentSizes_[node]; }
  // Key slot i (0 .. m - 1) of `node`: a key for i < keyCount(node), else kUnusedKey.
  int32_t keyAt(int32_t node, int32_t i) const { return keys_[nodeStart(node) + i]; }
  // The child group of `node`, or &NodeGroup::NULL_NODE when it has not been set.
  CSBTreeNode* getChild(int32_t node) const;
  // The child group of `node` for descents: never the sentinel in a tree.
  CSBTreeNode* childGroup(int32_t node) const { return nodes_[node].group.get(); }
  void setChild(int32_t node, std::unique_ptr<CSBTreeNode> child);
  // Asks for the keys (and a leaf's values) of member `member` of the child group of
  // `node`, from the child's arrays as last recorded, so that they arrive while the descent
  // reads the child group itself. Always inlined: GCC drops calls to out-of-line functions
  // that only prefetch.
  [[gnu::always_inline]] void prefetchChildKeys(int32_t node, int32_t member) const {
    const ChildRef& child = nodes_[node];
    const int64_t start = static_cast<int64_t>(member) * child.stride;
    if (child.keys != nullptr)
      prefetchRun(child.keys + start, child.stride);
    if (child.values != nullptr)
      prefetchRun(child.values + start, child.stride);
  }
  // Records the child group's arrays again, after an insertion below may have replaced
  // them. The record is exact between operations (the verifier checks it).
  void refreshChildKeys(int32_t node) {
    ChildRef& child = nodes_[node];
    child.keys = child.group ? child.group->keyBlock() : nullptr;
    child.values = child.group ? child.group->valueBlock() : nullptr;
    child.stride = child.group ? child.group->memberStride() : 0;
  }
  // Whether the record of the child of `node` matches the child's arrays, for the verifier.
  bool childRecordIsCurrent(int32_t node) const {
    const ChildRef& child = nodes_[node];
    return child.group == nullptr ||
           (child.keys == child.group->keyBlock() && child.values == child.group->valueBlock() &&
            child.stride == child.group->memberStride());
  }
  // Key array, for the parent's record: node i's slots begin at keyBlock() + i x m.
  const int32_t* keyBlock() const { return keys_.get(); }

 private:
  int64_t nodeStart(int32_t node) const { return static_cast<int64_t>(node) * m_; }

  int32_t m_;
  int32_t numberOfNodes_;
  std::unique_ptr<int32_t[]> keys_;
  // A node's child group, with that group's arrays and member stride.
  struct ChildRef {
    std::unique_ptr<CSBTreeNode> group;
    const int32_t* keys = nullptr;
    const int32_t* values = nullptr;
    int32_t stride = 0;
  };
  // A vector rather than an array: it allocates exactly numberOfNodes references, with no
  // array cookie, so allocatedBytes() is exact.
  std::vector<ChildRef> nodes_;
  std::unique_ptr<int32_t[]> currentSizes_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_NODE_GROUP_ARRAY_MAP_H_
