// InternalNodeArrayMap: the sorted separators and children of one internal node.
//
// Child i lies between key i - 1 and key i: child 0 holds the keys below key 0, child
// size() the keys >= the last key, and a key equal to a separator belongs to the child on
// its right. Keys are unique and strictly increasing; putting an existing key replaces the
// child to its right. A new map's first child slot holds the sentinel
// InternalNode::NULL_NODE, marking that the first child is not yet set.
//
// The arrays (capacity keys, capacity + 1 children) are allocated and owned by the map, or
// provided by its owner (an internal node keeps them in the same allocation as itself).
// The children are not owned: the tree's NodePool owns those. Positions and room are
// preconditions (REQUIRES below, checked by assert in debug builds): an internal node
// splits in time and addresses only positions it has. Not thread-safe.
#ifndef CORE_BTREE_INTERNAL_NODE_ARRAY_MAP_H_
#define CORE_BTREE_INTERNAL_NODE_ARRAY_MAP_H_

#include <cassert>
#include <cstdint>
#include <memory>
#include <string>

#include "util/KeySearch.h"

namespace core::btree {

class BTreeNode;

class InternalNodeArrayMap {
 public:
  // An empty map for `capacity` keys.
  // REQUIRES: 0 <= capacity <= 2 x BTreeConstants::kMaxParameter.
  explicit InternalNodeArrayMap(int32_t capacity);
  // Arrays provided by the owner of a map: `keys` for capacity ints, `nodes` for
  // capacity + 1 pointers. They must outlive the map.
  struct Storage {
    int32_t* keys;
    BTreeNode** nodes;
  };
  // The same over provided arrays.
  InternalNodeArrayMap(int32_t capacity, Storage storage);

  InternalNodeArrayMap(const InternalNodeArrayMap&) = delete;
  InternalNodeArrayMap& operator=(const InternalNodeArrayMap&) = delete;

  // "NULL | 10 | 11 | 20 | 12": the first child, then each key and the child right of it,
  // children by identity number ("NULL" for the sentinel, "null" for an empty slot).
  std::string toString() const;

  // Removes `key` and the child right of it; false when the key is not present.
  bool erase(int32_t key);
  // Removes the key at `pos` and the child right of it: the child left of it takes over the
  // merged interval. REQUIRES: 0 <= pos < size().
  void deleteAtPos(int32_t pos);
  // The child whose interval holds `key`, or nullptr when the map has no keys.
  BTreeNode* get(int32_t key) const { return currentSize_ == 0 ? nullptr : childFor(key); }
  // The position of the child whose interval holds `key`, or -1 when the map has no keys.
  int32_t getIntervalPosition(int32_t key) const {
    return currentSize_ == 0 ? -1 : childPosition(key);
  }
  // get and getIntervalPosition without the test for keys, for the descents: a map without
  // keys answers its first child. A key equal to a separator belongs to the child right of
  // it, so the position is the number of separators <= key. Inline, as every descent asks
  // once per level.
  BTreeNode* childFor(int32_t key) const { return nodes_[childPosition(key)]; }
  int32_t childPosition(int32_t key) const {
    return static_cast<int32_t>(util::upperBound(keys_, currentSize_, key) - keys_);
  }
  // The middle key, at position size() / 2: the separator that split() leaves to the caller.
  int32_t getMidKey() const;
  // Inserts `key` with `node` as the child to its right, or replaces that child when the
  // key is present. REQUIRES: room for one more key, or `key` present.
  void put(int32_t key, BTreeNode* node);
  int32_t size() const { return currentSize_; }
  // Moves the keys above the middle key, with the children around them, into `upper`
  // (empty, with room for them). The middle key goes to neither map.
  // REQUIRES: size() >= 1; `upper` is another, empty map with room for the upper part.
  void split(InternalNodeArrayMap& upper);

  int32_t capacity() const { return capacity_; }
  // The key at `pos`. REQUIRES: 0 <= pos < size().
  int32_t keyAt(int32_t pos) const {
    assert(pos >= 0 && pos < currentSize_);
    return keys_[pos];
  }
  // The child at `pos`. REQUIRES: 0 <= pos <= size().
  BTreeNode* nodeAt(int32_t pos) const {
    assert(pos >= 0 && pos <= currentSize_);
    return nodes_[pos];
  }
  // Sets the child left of every key.
  void setFirstChild(BTreeNode* node) { nodes_[0] = node; }

  // Search in a[low .. high] (high inclusive): the position of `key`, or -(insertion point)
  // - 1 when it is absent (-(low) - 1 when high < low). The keys of a map are unique, so
  // the leaf's leftmost search serves: its hit is the only one.
  static int32_t binarySearch(const int32_t* a, int32_t key, int32_t low, int32_t high) {
    return util::leftmostSearch(a, key, low, high);
  }

 private:
  // binarySearch over the keys.
  int32_t search(int32_t key) const { return binarySearch(keys_, key, 0, currentSize_ - 1); }

  int32_t currentSize_ = 0;
  int32_t capacity_;
  std::unique_ptr<int32_t[]> ownedKeys_;  // both null when the arrays were provided
  std::unique_ptr<BTreeNode*[]> ownedNodes_;
  int32_t* keys_;
  BTreeNode** nodes_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_INTERNAL_NODE_ARRAY_MAP_H_
