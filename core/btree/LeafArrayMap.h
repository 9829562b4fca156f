// LeafArrayMap: the sorted entry store of one B+-tree leaf.
//
// Keys and values sit in two parallel fixed-capacity arrays, in non-decreasing key order;
// entries with equal keys keep their insertion order, and a new entry goes after every
// equal key. Lookups push values into an IntPushOperator and answer with a code telling the
// owning leaf whether, and how, the answer continues in the next leaf of the chain; the map
// itself knows nothing of other leaves and never calls thatsallfolks().
//
// Invariants: 0 <= size() <= capacity(); positions at and beyond size() hold stale data
// that is never read as entries, except that the leaf's chain walks look at the key slot
// at position 0 of an empty map. The capacity never changes. The map is a view of one leaf
// block (NodeLayout.h): the entry count, the next leaf's handle (which the map does not use),
// the keys, then the values. The block is allocated and owned by the map, or provided by its
// owner (a leaf is such a block in the tree's NodePool). Inserting into a full map and
// positions outside the map are refused (nothing changes), so no argument reaches outside
// the block; a leaf splits in time and never asks for either.
//
// Not thread-safe.
#ifndef CORE_BTREE_LEAF_ARRAY_MAP_H_
#define CORE_BTREE_LEAF_ARRAY_MAP_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/btree/NodeLayout.h"
#include "util/IntPushOperator.h"
#include "util/KeySearch.h"
#include "util/LookupResult.h"

namespace core::btree {

class LeafArrayMap {
 public:
  // The lookup codes STOP, CONTINUE_WITH_BINSEARCH and CONTINUE_WITH_SCAN, also by this
  // class's name (LeafArrayMap::STOP); the enumeration is the one both trees share.
  using enum util::LookupResult;

  // An empty map for `capacity` entries, owning its block. Throws std::invalid_argument
  // unless 1 <= capacity <= 2 x BTreeConstants::kMaxParameter.
  explicit LeafArrayMap(int32_t capacity);
  // A view of the map kept in `block`, which outlives the view and was set up by initialize
  // (or holds a map).
  explicit LeafArrayMap(LeafBlock block) : block_(block) {}
  // The ints of a block for `capacity` entries.
  static constexpr size_t blockInts(int32_t capacity) { return LeafBlock::ints(capacity); }
  // Makes `block` an empty map whose first key slot reads 0.
  static void initialize(int32_t* block, int32_t capacity);

  LeafArrayMap(const LeafArrayMap&) = delete;
  LeafArrayMap& operator=(const LeafArrayMap&) = delete;
  // Moving hands the block (owned or not) over; the moved-from map must not be used.
  LeafArrayMap(LeafArrayMap&& other) noexcept = default;

  // Inserts the entry after every entry with a key <= `key`, unless that place is the end
  // of the map: then nothing changes and the answer is true (the leaf decides whether the
  // entry belongs here or further along the chain). An empty map always takes the entry; a
  // full one refuses every entry (true, nothing changes).
  bool tryAdd(int32_t key, int32_t value);
  // Where tryAdd places `key`: the first position whose key is greater (size() when none is).
  int32_t placeFor(int32_t key) const;
  // Inserts the entry at `pos`, shifting the entries from there up; appends when
  // pos >= size(). A full map, or a negative `pos`, is refused: nothing changes.
  void addAtPos(int32_t key, int32_t value, int32_t pos);

  // Pushes the value of every entry with this key.
  util::LookupResult get(int32_t key, util::IntPushOperator& op) const;
  // Pushes values from `pos` on while the key equals `key`. Never answers
  // CONTINUE_WITH_BINSEARCH. A negative `pos` pushes nothing and answers STOP.
  util::LookupResult continueGet(int32_t pos, int32_t key, util::IntPushOperator& op) const;
  // Pushes the value of every entry with lowKey <= key <= highKey.
  util::LookupResult queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const;
  // Pushes values from `pos` on while the key is <= highKey. A negative `pos` pushes nothing
  // and answers STOP.
  util::LookupResult continueScan(int32_t pos, int32_t highKey, util::IntPushOperator& op) const;

  // Removes the first mapping key -> value, or every mapping of the key when value is
  // BTreeConstants::ALL_MAPPINGS. True when matching entries may still follow in the next
  // leaf (the key's run, or the place it would have, reaches the end of this map).
  bool remove(int32_t key, int32_t value);

  // Removes the entry at `pos`, moving the later entries down; a position outside
  // 0 .. size() - 1 changes nothing.
  void deleteAtPos(int32_t pos) {
    if (pos >= 0 && pos < size())
      eraseRange(pos, pos + 1);
  }

  // The key at position size() / 2, the first one split() moves. REQUIRES: size() >= 1.
  int32_t getMidKey() const { return keyAt(size() / 2); }
  // Moves the upper half of the entries (positions size() / 2 on: 5 entries keep 2 and move
  // 3) into a new map of the same capacity and returns it. A run of equal keys may be
  // divided.
  LeafArrayMap split();
  // The same, into `upper`, which the caller provides (a leaf's new block).
  // REQUIRES: `upper` is another, empty map with room for the upper half.
  void split(LeafArrayMap& upper);
  // What inserting key -> value at `pos` and then split() would leave, for a full map that
  // has no room for the entry: the lower half stays, the upper half goes to `upper`.
  // REQUIRES: size() == capacity(), 0 <= pos <= size(); `upper` is another, empty map with
  // room for the upper half.
  void insertAndSplit(int32_t key, int32_t value, int32_t pos, LeafArrayMap& upper);
  // The same, keeping the lowest `lowerEntries` of the size() + 1 entries (the map's and the
  // new one) here; insertAndSplit above keeps (size() + 1) / 2. A count outside 1 .. size() is
  // taken as the nearer end of that range, so that both maps keep an entry.
  void insertAndSplit(int32_t key, int32_t value, int32_t pos, LeafArrayMap& upper,
                      int32_t lowerEntries);

  int32_t size() const { return currentSize(); }
  // The entries the map holds at most. A leaf's view reads 2 x k_star - 1: the insertion that
  // would make 2 x k_star splits the leaf instead, so that entry never stays in place.
  int32_t capacity() const { return block_.capacity(); }
  // The entry at `pos`. REQUIRES: 0 <= pos < size().
  int32_t keyAt(int32_t pos) const {
    assert(pos >= 0 && pos < size());
    return keys()[pos];
  }
  int32_t valueAt(int32_t pos) const {
    assert(pos >= 0 && pos < size());
    return values()[pos];
  }
  // The key slot at position 0, read whatever the size: the last key stored there when
  // the map is empty (0 if it never held one). The leaf's chain walks compare it.
  int32_t firstKeySlot() const { return keys()[0]; }

  // "5=50, 7=70"; empty for an empty map.
  std::string toString() const;

  // Leftmost search in a[low .. high] (high inclusive): the first position holding `key`,
  // or -(insertion point) - 1 when there is none (-(low) - 1 when high < low). Every lookup
  // of the map starts with it.
  static int32_t binarySearch(const int32_t* a, int32_t key, int32_t low, int32_t high) {
    return util::leftmostSearch(a, key, low, high);
  }

 private:
  // binarySearch over the used part.
  int32_t search(int32_t key) const { return binarySearch(keys(), key, 0, size() - 1); }
  int32_t* keys() const { return block_.keys(); }
  int32_t* values() const { return block_.values(); }
  int32_t& currentSize() const { return block_.count(); }
  void setSize(int32_t size) { currentSize() = size; }
  bool full() const { return size() >= capacity(); }
  void insertAt(int32_t key, int32_t value, int32_t pos);
  void eraseRange(int32_t from, int32_t to);

  std::unique_ptr<int32_t[]> owned_;  // null for a view
  LeafBlock block_;
};

}  // namespace core::btree

#endif  // CORE_BTREE_LEAF_ARRAY_MAP_H_
