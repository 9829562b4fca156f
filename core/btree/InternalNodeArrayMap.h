// InternalNodeArrayMap: the sorted separators and children of one internal node.
//
// Child i lies between key i - 1 and key i: child 0 holds the keys below key 0, child
// size() the keys >= the last key, and a key equal to a separator belongs to the child on
// its right. Keys are unique and strictly increasing; putting an existing key replaces the
// child to its right. Children are node handles (NodePool); a new map's first child slot
// holds the sentinel NodePool::kSentinel, marking that the first child is not yet set.
//
// The map is a view of one internal block (NodeLayout.h): the key count, capacity keys, then
// capacity + 1 child handles. The block is allocated and owned by the map, or provided by its
// owner (an internal node is such a block in the tree's NodePool). The children are not owned.
// put into a full map and deleteAtPos outside the map are refused (nothing changes); the
// accessors' positions are preconditions (REQUIRES below, checked by assert in debug
// builds): an internal node splits in time and addresses only positions it has. Not
// thread-safe.
#ifndef CORE_BTREE_INTERNAL_NODE_ARRAY_MAP_H_
#define CORE_BTREE_INTERNAL_NODE_ARRAY_MAP_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/btree/NodeLayout.h"
#include "core/btree/NodePool.h"
#include "util/KeySearch.h"

namespace core::btree {

class InternalNodeArrayMap {
 public:
  // An empty map for `capacity` keys, owning its block. Throws std::invalid_argument unless
  // 0 <= capacity <= 2 x BTreeConstants::kMaxParameter.
  explicit InternalNodeArrayMap(int32_t capacity);
  // A view of the map kept in `block`, which outlives the view and was set up by initialize
  // (or holds a map).
  explicit InternalNodeArrayMap(InternalBlock block) : block_(block) {}
  // The ints of a block for `capacity` keys.
  static constexpr size_t blockInts(int32_t capacity) { return InternalBlock::ints(capacity); }
  // Makes `block` an empty map whose first child slot holds the sentinel.
  static void initialize(int32_t* block, int32_t capacity);

  InternalNodeArrayMap(const InternalNodeArrayMap&) = delete;
  InternalNodeArrayMap& operator=(const InternalNodeArrayMap&) = delete;
  // Moving hands the block (owned or not) over; the moved-from map must not be used.
  InternalNodeArrayMap(InternalNodeArrayMap&& other) noexcept = default;

  // "NULL | 10 | 11 | 20 | 12": the first child, then each key and the child right of it,
  // children by identity number ("NULL" for the sentinel, "null" for an empty slot).
  std::string toString() const;

  // Removes `key` and the child right of it; false when the key is not present.
  bool erase(int32_t key);
  // Removes the key at `pos` and the child right of it: the child left of it takes over the
  // merged interval. A position outside 0 .. size() - 1 changes nothing.
  void deleteAtPos(int32_t pos);
  // The child whose interval holds `key`, or kNoNode when the map has no keys.
  NodeHandle get(int32_t key) const { return size() == 0 ? NodePool::kNoNode : childFor(key); }
  // The position of the child whose interval holds `key`, or -1 when the map has no keys.
  int32_t getIntervalPosition(int32_t key) const { return size() == 0 ? -1 : childPosition(key); }
  // get and getIntervalPosition without the test for keys, for the descents: a map without
  // keys answers its first child. A key equal to a separator belongs to the child right of
  // it, so the position is the number of separators <= key.
  NodeHandle childFor(int32_t key) const { return children()[childPosition(key)]; }
  int32_t childPosition(int32_t key) const {
    return static_cast<int32_t>(util::upperBound(keys(), size(), key) - keys());
  }
  // The middle key, at position size() / 2: the separator that split() leaves to the caller.
  int32_t getMidKey() const;
  // Inserts `key` with `node` as the child to its right, or replaces that child when the
  // key is present. A full map refuses a new key: nothing changes.
  void put(int32_t key, NodeHandle node);
  int32_t size() const { return currentSize(); }
  // Moves the keys above the middle key (position size() / 2), with the children around
  // them, into a new map of the same capacity and returns it; this map keeps the keys below
  // it. The middle key goes to neither map: take it with getMidKey() first. 4 keys keep 2
  // and move 1, 5 keep 2 and move 2. A map without keys returns an empty map.
  InternalNodeArrayMap split();
  // The same, into `upper`, which the caller provides (a node's new block).
  // REQUIRES: size() >= 1; `upper` is another, empty map with room for the upper part.
  void split(InternalNodeArrayMap& upper);
  // What put(key, node) and then split() would leave, for a full map without `key`: the
  // lower part stays, the upper part goes to `upper`; returns the middle key.
  // REQUIRES: size() == capacity() >= 1, `key` absent; `upper` as for split.
  int32_t putAndSplit(int32_t key, NodeHandle node, InternalNodeArrayMap& upper);
  // The same, keeping the lowest `lowerKeys` of the size() + 1 keys (the map's and `key`) here;
  // the next one goes up, the rest move. putAndSplit above keeps (size() + 1) / 2. A count
  // outside 1 .. size() - 1 is taken as the nearer end of that range.
  // REQUIRES: as for putAndSplit.
  int32_t putAndSplit(int32_t key, NodeHandle node, InternalNodeArrayMap& upper, int32_t lowerKeys);

  int32_t capacity() const { return block_.capacity(); }
  // The key at `pos`. REQUIRES: 0 <= pos < size().
  int32_t keyAt(int32_t pos) const {
    assert(pos >= 0 && pos < size());
    return keys()[pos];
  }
  // The child at `pos`. REQUIRES: 0 <= pos <= size().
  NodeHandle nodeAt(int32_t pos) const {
    assert(pos >= 0 && pos <= size());
    return children()[pos];
  }
  // The children 0 .. size(), for prefetching ahead of a scan.
  const NodeHandle* childArray() const { return children(); }
  // Sets the child left of every key.
  void setFirstChild(NodeHandle node) { children()[0] = node; }

  // Binary search in a[low .. high] (high inclusive), which holds no key twice: the position
  // where a probe hits `key`, or -(insertion point) - 1 when it is absent (-(low) - 1 when
  // high < low). On a run of equal keys it answers the first probe that hits, not the
  // leftmost ([5, 5, 5] gives 1).
  static int32_t binarySearch(const int32_t* a, int32_t key, int32_t low, int32_t high);

 private:
  // binarySearch over the keys.
  int32_t search(int32_t key) const { return binarySearch(keys(), key, 0, size() - 1); }
  int32_t* keys() const { return block_.keys(); }
  NodeHandle* children() const { return block_.children(); }
  int32_t& currentSize() const { return block_.count(); }
  void setSize(int32_t size) { currentSize() = size; }

  std::unique_ptr<int32_t[]> owned_;  // null for a view
  InternalBlock block_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_INTERNAL_NODE_ARRAY_MAP_H_
