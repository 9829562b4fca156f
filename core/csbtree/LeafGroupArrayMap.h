// LeafGroupArrayMap: the entries of all leaves of one leaf group, in one pair of arrays.
//
// Leaves are numbered from 1. Leaf j owns the fixed stretch of `two_k_star` slots starting
// at (j - 1) x two_k_star; its entries fill the start of that stretch in non-decreasing key
// order, equal keys in insertion order. The key slots of the rest of the stretch hold
// kUnusedKey, the largest int (their value slots are unset or stale), so the keys of a whole
// stretch are non-decreasing: a search covers the whole stretch without waiting for the leaf
// size, and the first slot >= key it finds is the same as among the leaf's entries alone. The
// size is still what tells an entry of the largest key from the filler. Read leaf by leaf,
// the entries of the group form one non-decreasing sequence, "the group's entries"; scans
// step from the last entry of a leaf to the first entry of the next non-empty leaf.
//
// There are no per-leaf objects: a leaf's place is computed from its number. The key array,
// the value array and the leaf sizes share one allocation. The arrays are never grown in
// place; a leaf split and a group split replace them with arrays of the new exact length. Slot
// positions are 64-bit because leaves x two_k_star may exceed 32 bits.
//
// Lookups answer with a code that tells the leaf group whether the answer may go on in the
// next group of the chain:
//   STOP                     the answer is complete;
//   CONTINUE_WITH_BINSEARCH  nothing here settles it; search the next group afresh;
//   CONTINUE_WITH_SCAN       a matching run reached the group's last entry; go on from the
//                            next group's first entry.
// Values are pushed with IntPushOperator::pass, one call per entry; thatsallfolks is left to
// the leaf group.
//
// Preconditions not checked in release builds: leaf numbers lie in 1 .. leaves(), and a leaf
// that receives an entry through addAtPos is not full. The leaf group keeps both.
// Not thread-safe.
#ifndef CORE_CSBTREE_LEAF_GROUP_ARRAY_MAP_H_
#define CORE_CSBTREE_LEAF_GROUP_ARRAY_MAP_H_

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "util/IntPushOperator.h"
#include "util/KeySearch.h"
#include "util/LookupResult.h"

namespace core::csbtree {

class LeafGroupArrayMap {
 public:
  // The content of every key slot after a leaf's entries.
  static constexpr int32_t kUnusedKey = std::numeric_limits<int32_t>::max();
  // The lookup codes STOP, CONTINUE_WITH_BINSEARCH and CONTINUE_WITH_SCAN, also by this
  // class's name (LeafGroupArrayMap::STOP); the enumeration is the one both trees share.
  using enum util::LookupResult;

  // One empty leaf of `two_k_star` slots (two_k_star >= 1).
  explicit LeafGroupArrayMap(int32_t two_k_star);

  LeafGroupArrayMap(LeafGroupArrayMap&&) noexcept = default;
  LeafGroupArrayMap& operator=(LeafGroupArrayMap&&) noexcept = default;

  // --- Operations on one leaf (`leaf` is 1-based).

  // Stores the entry in `leaf` after every entry with a key <= key. A full leaf passes an
  // entry that belongs at its end on to the next leaf. Returns false when stored, true when
  // refused: the entry belongs after the last entry of a full last leaf, or inside a full
  // leaf (the leaf group splits every leaf the moment it fills, so neither happens there).
  bool tryAdd(int32_t leaf, int32_t key, int32_t value);
  // Stores the entry at slot `pos` of `leaf`, shifting the leaf's later entries up; a `pos`
  // after the leaf's last entry appends. The leaf must not be full.
  void addAtPos(int32_t key, int32_t value, int32_t leaf, int64_t pos);
  // Pushes the values of `key`, starting with the first entry >= key in `leaf`. When every
  // entry of `leaf` is smaller, the lookup goes on in the following leaves of the group, so
  // that a run of the key that starts in a later leaf is found too.
  util::LookupResult get(int32_t leaf, int32_t key, util::IntPushOperator& op) const;
  // Pushes values from slot `pos` on (an unused slot means: from the next entry) while the
  // key equals `key`.
  util::LookupResult continueGet(int64_t pos, int32_t key, util::IntPushOperator& op) const;
  // Pushes the values with lowKey <= key <= highKey, starting with the first entry >= lowKey
  // in `leaf` or, when there is none, in the following leaves.
  util::LookupResult queryRange(int32_t leaf, int32_t lowKey, int32_t highKey,
                                util::IntPushOperator& op) const;
  // Pushes values from slot `pos` on while the key is <= highKey.
  util::LookupResult continueScan(int64_t pos, int32_t highKey, util::IntPushOperator& op) const;
  // Removes from `leaf` the first mapping key -> value, or the whole run of the key when
  // `value` is ALL_MAPPINGS. Returns true when further mappings to remove may lie in the
  // following leaves: the run (or, when the key is absent, every entry of the leaf that is
  // smaller than it) reaches the leaf's last entry, and no single mapping was removed.
  bool remove(int32_t leaf, int32_t key, int32_t value);
  // Splits `leaf` into two adjacent leaves: it keeps its lower half (n / 2 entries), the new
  // leaf `leaf` + 1 takes the rest; later leaves move up by one number.
  void split(int32_t leaf);
  // Number of entries of `leaf` (entries, not slots).
  int32_t size(int32_t leaf) const { return currentLeafSize_[leaf - 1]; }
  // Slot of the n-th entry (n counted from 1) of `leaf`.
  int64_t indexOf(int32_t leaf, int32_t n) const {
    return static_cast<int64_t>(leaf - 1) * two_k_star_ + n - 1;
  }

  // --- Operations on the whole group.

  bool tryAdd(int32_t key, int32_t value) { return tryAdd(1, key, value); }
  util::LookupResult get(int32_t key, util::IntPushOperator& op) const { return get(1, key, op); }
  util::LookupResult queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const {
    return queryRange(1, lowKey, highKey, op);
  }
  bool remove(int32_t key, int32_t value) { return remove(1, key, value); }
  // Splits the group: this map keeps the lower ceil(L / 2) leaves and the returned map holds
  // the upper floor(L / 2). A map of one leaf returns a map without leaves.
  LeafGroupArrayMap split();
  // Number of slots (leaves x two_k_star), used or not: slots, not entries.
  int64_t size() const { return currentGroupSize_; }
  // Number of leaves.
  int32_t leaves() const { return numberOfLeaves_; }
  // Number of entries in all leaves (entries, not slots).
  int64_t getKeyNumber() const;
  // Bytes of the arrays at their allocated lengths.
  int64_t allocatedBytes() const;
  // "3=30, 7=70": every entry, leaf by leaf.
  std::string toString() const;

  // Leftmost search in a[low .. high] (high inclusive): the first position holding `key`,
  // or -(insertion point) - 1 when there is none (-(low) - 1 when high < low). The B+-tree's
  // leaf search, shared; the group's own lookups search a leaf's whole stretch with
  // csbtree::lowerBound, which finds the same first position.
  static int32_t binarySearch(const int32_t* a, int32_t key, int32_t low, int32_t high) {
    return util::leftmostSearch(a, key, low, high);
  }

  // --- Read access for the leaf group, the graph output and the consistency check.

  int32_t getTwoKStar() const { return two_k_star_; }
  // Key slot `slot` (0 .. size() - 1): an entry's key or kUnusedKey.
  int32_t keyAt(int64_t slot) const { return keys_[slot]; }
  // The key array: slot s is keyBlock()[s].
  const int32_t* keyBlock() const { return keys_; }
  const int32_t* valueBlock() const { return values_; }
  int32_t valueAt(int64_t slot) const { return values_[slot]; }
  // The slot just after the last entry of the last leaf.
  int64_t endSlot() const { return currentSize_; }

 private:
  // `leaves` empty leaves; their slots are left unset (not even the filler: the copies that
  // fill them write it).
  LeafGroupArrayMap(int32_t two_k_star, int32_t leaves);

  int64_t leafStart(int32_t leaf) const { return static_cast<int64_t>(leaf - 1) * two_k_star_; }
  int64_t leafEnd(int32_t leaf) const { return leafStart(leaf) + currentLeafSize_[leaf - 1]; }
  // First slot of `leaf` whose key is >= key, or the leaf's end.
  int64_t lowerBound(int32_t leaf, int32_t key) const;
  // Pushes values from slot `pos` of `leaf` (an earlier slot means: from the leaf's first
  // entry) on while the key is <= highKey; continueScan with the leaf already known.
  util::LookupResult scan(int32_t leaf, int64_t pos, int32_t highKey,
                          util::IntPushOperator& op) const;
  void updateCurrentSize();
  // Writes the filler into the key slots of `leaf` after its first `count` ones.
  void fillUnused(int32_t leaf, int32_t count);
  // Copies `count` entries from slot `fromSlot` of `from` into the empty leaf `toLeaf`, and
  // the filler after them.
  void copyEntries(const LeafGroupArrayMap& from, int64_t fromSlot, int32_t count, int32_t toLeaf);
  // Copies the entries of `count` leaves of `from`, starting with `fromLeaf`, into the empty
  // leaves starting with `toLeaf`, filler included.
  void copyLeaves(const LeafGroupArrayMap& from, int32_t fromLeaf, int32_t count, int32_t toLeaf);

  int32_t two_k_star_;
  int32_t numberOfLeaves_;
  int64_t currentGroupSize_;
  int64_t currentSize_;
  // One allocation holds the key array, the value array and the leaf sizes, in this order;
  // the three pointers below point into it.
  std::unique_ptr<int32_t[]> block_;
  int32_t* keys_;
  int32_t* values_;
  int32_t* currentLeafSize_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_LEAF_GROUP_ARRAY_MAP_H_
