// LeafGroupArrayMap: the entries of all leaves of one leaf group, in the group's block.
//
// A view over one leaf-group block of the tree's GroupStore (see there for the layout):
// copying the map copies the view, not the entries. Leaves are numbered from 1. Leaf j owns
// W = two_k_star key slots followed by W value slots; its entries fill the start of them in
// non-decreasing key order, equal keys in insertion order. The key slots after a leaf's
// entries hold kUnusedKey, the largest int (their value slots are stale), so the keys of a
// whole leaf are non-decreasing: a search covers all W slots without waiting for the leaf
// size, and the first slot >= key it finds is the same as among the leaf's entries alone. The
// size is still what tells an entry of the largest key from the filler. Read leaf by leaf,
// the entries of the group form one non-decreasing sequence, "the group's entries"; scans
// step from the last entry of a leaf to the first entry of the next non-empty leaf.
//
// Slots are numbered across the group as if the leaves' key slots lay end to end: slot
// (j - 1) x W + n - 1 is the n-th entry of leaf j (indexOf). They are 64-bit because leaves x W
// may exceed 32 bits. A leaf split and a group split make new blocks of the new exact size
// and free the old one, so the map's handle changes; the header (identity number, chain
// links) goes with the lower part.
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
// A leaf holds up to two_k_star entries; insertions into a full leaf are refused (tryAdd
// answers true, addAtPos changes nothing). Precondition not checked in release builds: leaf
// numbers lie in 1 .. leaves(); the leaf group keeps it.
// Not thread-safe.
#ifndef CORE_CSBTREE_LEAF_GROUP_ARRAY_MAP_H_
#define CORE_CSBTREE_LEAF_GROUP_ARRAY_MAP_H_

#include <cstdint>
#include <limits>
#include <string>

#include "core/csbtree/GroupStore.h"
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

  // A new block: one empty leaf of 2 x k_star slots, no chain links.
  explicit LeafGroupArrayMap(GroupStore& store);
  // The map in the leaf-group block `handle`.
  LeafGroupArrayMap(GroupStore& store, GroupHandle handle) : store_(&store), handle_(handle) {}

  // --- Operations on one leaf (`leaf` is 1-based).

  // Stores the entry in `leaf` after every entry with a key <= key. A full leaf passes an
  // entry that belongs at its end on to the next leaf. Returns false when stored, true when
  // refused: the entry belongs after the last entry of a full last leaf, or inside a full
  // leaf (the leaf group splits every leaf the moment it fills, so neither happens there).
  bool tryAdd(int32_t leaf, int32_t key, int32_t value);
  // Stores the entry at slot `pos` of `leaf`, shifting the leaf's later entries up; a `pos`
  // after the leaf's last entry appends. A full leaf, or a slot before the leaf's first, is
  // refused: nothing changes.
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
  // What a removal in one leaf says about the leaves after it.
  enum class Removal {
    kDone,       // a mapping was removed, or the key's run ends inside the leaf
    kMayFollow,  // the run, or the place the key would have, reaches the leaf's last entry
    kKeyAbsent,  // the key is absent and a greater key follows it in the leaf
  };
  // Removes from `leaf` the first mapping key -> value, or the whole run of the key when
  // `value` is ALL_MAPPINGS. Returns true when the caller may look for the key further on:
  // the key is absent from the leaf, or its run reaches the leaf's last entry and no single
  // mapping was removed. Removing one mapping answers false, so that a second equal mapping
  // stays.
  bool remove(int32_t leaf, int32_t key, int32_t value) {
    return removeFrom(leaf, key, value) != Removal::kDone;
  }
  // remove, telling the leaf group whether mappings of the key may lie in the next leaves:
  // only kMayFollow says so.
  Removal removeFrom(int32_t leaf, int32_t key, int32_t value);
  // Splits `leaf` into two adjacent leaves: it keeps its lower half (n / 2 entries), the new
  // leaf `leaf` + 1 takes the rest; later leaves move up by one number. The map moves to a
  // new block.
  void split(int32_t leaf);
  // The same, `leaf` keeping its lowest `lowerEntries` (at most all) entries.
  void split(int32_t leaf, int32_t lowerEntries);
  // Number of entries of `leaf` (entries, where size() counts slots).
  int32_t size(int32_t leaf) const { return sizes()[leaf - 1]; }
  // Slot of the n-th entry (n counted from 1) of `leaf`.
  int64_t indexOf(int32_t leaf, int32_t n) const {
    return static_cast<int64_t>(leaf - 1) * store_->w() + n - 1;
  }

  // --- Operations on the whole group.

  bool tryAdd(int32_t key, int32_t value) { return tryAdd(1, key, value); }
  util::LookupResult get(int32_t key, util::IntPushOperator& op) const { return get(1, key, op); }
  util::LookupResult queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const {
    return queryRange(1, lowKey, highKey, op);
  }
  bool remove(int32_t key, int32_t value) { return remove(1, key, value); }
  // Splits the group: this map keeps the lower ceil(L / 2) leaves (and the header) in a new
  // block, the returned map holds the upper floor(L / 2) in another, without identity number
  // or chain links. A map of one leaf returns a map without leaves.
  LeafGroupArrayMap split();
  // The same, this map keeping its lowest `lowerLeaves` (at most all) leaves.
  LeafGroupArrayMap splitGroup(int32_t lowerLeaves);
  // Number of slots (leaves x two_k_star), used or not: the group's current group size.
  // Slots, where size(leaf) counts entries; getKeyNumber() counts the group's entries.
  int64_t size() const { return currentGroupSize(); }
  // Number of leaves.
  int32_t leaves() const { return header()->members; }
  // Number of entries in all leaves.
  int64_t getKeyNumber() const;
  // "3=30, 7=70": every entry, leaf by leaf.
  std::string toString() const;
  // Leftmost search in a[low .. high] (high inclusive): the first position holding `key`,
  // or -(insertion point) - 1 when there is none (-(low) - 1 when high < low). The B+-tree's
  // leaf search, shared; the group's own lookups search a leaf's whole stretch with
  // csbtree::countedLowerBound, which finds the same first position.
  static int32_t binarySearch(const int32_t* a, int32_t key, int32_t low, int32_t high) {
    return util::leftmostSearch(a, key, low, high);
  }

  // --- Read access for the leaf group, the graph output and the consistency check.

  int32_t getTwoKStar() const { return store_->w(); }
  // Key slot `slot` (0 .. size() - 1): an entry's key or kUnusedKey.
  int32_t keyAt(int64_t slot) const {
    return keysOf(static_cast<int32_t>(slot / store_->w()) + 1)[slot % store_->w()];
  }
  // The key slots of `leaf` (its values follow them).
  const int32_t* leafKeys(int32_t leaf) const { return keysOf(leaf); }
  int32_t valueAt(int64_t slot) const {
    return valuesOf(static_cast<int32_t>(slot / store_->w()) + 1)[slot % store_->w()];
  }
  // The slot just after the last entry of the last leaf.
  int64_t endSlot() const { return currentSize(); }
  GroupHandle handle() const { return handle_; }
  GroupStore& store() const { return *store_; }
  GroupHeader* header() const { return store_->header(handle_); }
  // Returns the block to the store's arena; the map must not be used afterwards.
  void release();

 private:
  // The slots of all leaves, leaves x two_k_star; derived from the header's leaf count.
  int64_t currentGroupSize() const { return static_cast<int64_t>(leaves()) * store_->w(); }
  // The slot just after the last entry of the last leaf (0 without leaves).
  int64_t currentSize() const { return leaves() == 0 ? 0 : indexOf(leaves(), size(leaves()) + 1); }
  // A new block of `leaves` empty leaves (sizes 0; slots unset) at `level` 0, header cleared.
  LeafGroupArrayMap(GroupStore& store, int32_t leaves);

  int32_t* sizes() const { return GroupStore::leafSizes(store_->at(handle_)); }
  int32_t* keysOf(int32_t leaf) const {
    return store_->leafKeys(store_->at(handle_), leaves(), leaf - 1);
  }
  int32_t* valuesOf(int32_t leaf) const { return keysOf(leaf) + store_->w(); }
  int64_t leafStart(int32_t leaf) const { return static_cast<int64_t>(leaf - 1) * store_->w(); }
  // Pushes values from entry `from` of `leaf` on while the key is <= highKey, across the
  // following leaves.
  util::LookupResult scan(int32_t leaf, int32_t from, int32_t highKey,
                          util::IntPushOperator& op) const;
  // Copies leaves [fromLeaf, fromLeaf + count) of `from` whole (keys, filler and values) to
  // leaves [toLeaf, ...) of this map, with their sizes.
  void copyLeaves(const LeafGroupArrayMap& from, int32_t fromLeaf, int32_t count, int32_t toLeaf);
  // Copies `count` entries from entry `first` of leaf `fromLeaf` of `from` into leaf `toLeaf`
  // of this map, the filler after them.
  void copyEntries(const LeafGroupArrayMap& from, int32_t fromLeaf, int32_t first, int32_t count,
                   int32_t toLeaf);

  GroupStore* store_;
  GroupHandle handle_;
};

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_LEAF_GROUP_ARRAY_MAP_H_
