#include "core/csbtree/Lookup.h"

#include <cstddef>

#include "core/csbtree/KeySearch.h"
#include "core/csbtree/LeafGroupArrayMap.h"
#include "util/KeySearch.h"
#include "util/LookupResult.h"

namespace core::csbtree {

namespace {

using util::LookupResult;

constexpr int32_t kUnusedKey = LeafGroupArrayMap::kUnusedKey;
// The node and leaf sizes of the driver's default parameters, k = k_star = 16.
constexpr int32_t kDefaultM = 64;
constexpr int32_t kDefaultW = 32;

const GroupHeader* headerOf(const std::byte* block) {
  return reinterpret_cast<const GroupHeader*>(block);
}

// The position of the first of keys[0 .. n) that is >= key: counted (KeySearch.h) for the
// short runs of the usual sizes, bisected beyond, where counting would read every line.
[[gnu::always_inline]] inline int32_t firstAtLeast(const int32_t* keys, int32_t n, int32_t key) {
  if (n <= kLinearSearchMax)
    return countBelow<false>(keys, n, key);
  return static_cast<int32_t>(util::lowerBound(keys, n, key) - keys);
}

// The sizes of a tree's nodes and leaves: fixed at compile time for the driver's default
// parameters (k = k_star = 16: 64 keys a node, 32 slots a leaf), so that the searches unroll
// and the slot addresses need no multiplication; read from the store for any other tree
// (kM = kW = 0).
template <int32_t kM, int32_t kW>
class Shape {
 public:
  explicit Shape(const GroupStore& store) : store_(store) {}

  int32_t m() const {
    if constexpr (kM > 0)
      return kM;
    else
      return store_.m();
  }
  int32_t w() const {
    if constexpr (kW > 0)
      return kW;
    else
      return store_.w();
  }
  size_t leafBytes() const {
    if constexpr (kW > 0)
      return GroupStore::leafBytesFor(kW);
    else
      return store_.leafBytes();
  }
  const int32_t* nodeKeys(std::byte* block, int32_t node) const {
    if constexpr (kM > 0)
      return GroupStore::nodeKeysAt(block, node, GroupStore::nodeSlotBytesFor(kM));
    else
      return store_.nodeKeys(block, node);
  }
  const int32_t* leafKeys(std::byte* block, int32_t leaves, int32_t leaf) const {
    return GroupStore::leafKeysAt(block, leaves, leaf, leafBytes());
  }
  const GroupStore& store() const { return store_; }

 private:
  const GroupStore& store_;
};

// Where a descent ends: leaf `leaf` (0-based) of the leaf group in `block`, and the keys of
// the node right above it (none when the descent started at the leaf group).
struct LeafSpot {
  std::byte* block;
  GroupHandle group;
  int32_t leaf;
  int32_t leaves;
  const int32_t* separators;
  int32_t separatorCount;

  // The separator after leaf `j` of this group, when the node above has one: every entry
  // after the leaf is >= it. The node's last child has none.
  bool boundAfter(int32_t j, int32_t& bound) const {
    if (j >= separatorCount)
      return false;
    bound = separators[j];
    return true;
  }
};

// Descends from member `index` of `group` to the first leaf that may hold `key`: in every
// node, the child after the last separator below the key (keys equal to a separator may lie
// left of it). For a counted search, asks for the one line of the next node's or the leaf's
// keys that its block comparisons do not read (the last), so that it arrives with the others;
// a bisection's probes depend on one another and are not asked for.
template <class S>
[[gnu::always_inline]] inline LeafSpot descend(const S& shape, GroupHandle group, int32_t index,
                                               int32_t key) {
  const GroupStore& store = shape.store();
  std::byte* block = store.at(group);
  int32_t level = headerOf(block)->level;
  if (level == 0)
    return LeafSpot{block, group, index, headerOf(block)->members, nullptr, 0};
  const int32_t m = shape.m();
  for (;;) {
    const int32_t* keys = shape.nodeKeys(block, index);
    const NodeSlotMeta* meta = store.nodeMeta(keys);
    // The filler after the node's keys is the largest int: the count stops at the size.
    index = firstAtLeast(keys, m, key);
    group = meta->child;
    block = store.at(group);
    const int32_t size = meta->size;
    if (--level == 0) {
      if (shape.w() <= kLinearSearchMax)
        __builtin_prefetch(shape.leafKeys(block, size + 1, index) + shape.w() - 1);
      return LeafSpot{block, group, index, size + 1, keys, size};
    }
    if (m <= kLinearSearchMax)
      __builtin_prefetch(shape.nodeKeys(block, index) + m - 1);
  }
}

// Carries a lookup that group `group` answered with `code` on along the chain, then ends it.
[[gnu::noinline]] void walkGet(GroupStore& store, GroupHandle group, LookupResult code, int32_t key,
                               util::IntPushOperator& op) {
  for (group = store.header(group)->next; code != LookupResult::STOP && group != 0;
       group = store.header(group)->next) {
    const LeafGroupArrayMap next(store, group);
    code = code == LookupResult::CONTINUE_WITH_BINSEARCH ? next.get(1, key, op)
                                                         : next.continueGet(0, key, op);
  }
  op.thatsallfolks();
}

[[gnu::noinline]] void walkRange(GroupStore& store, GroupHandle group, LookupResult code,
                                 int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  for (group = store.header(group)->next; code != LookupResult::STOP && group != 0;
       group = store.header(group)->next) {
    const LeafGroupArrayMap next(store, group);
    code = code == LookupResult::CONTINUE_WITH_BINSEARCH ? next.queryRange(1, lowKey, highKey, op)
                                                         : next.continueScan(0, highKey, op);
  }
  op.thatsallfolks();
}

template <class S>
void lookupValuesIn(GroupStore& store, GroupHandle group, int32_t index, int32_t key,
                    util::IntPushOperator& op) {
  const S shape(store);
  const LeafSpot spot = descend(shape, group, index, key);
  const LeafGroupArrayMap entries(store, spot.group);
  int32_t bound = 0;
  if (spot.boundAfter(spot.leaf, bound) && key < bound) {
    // Below the separator, so below the filler: the key's run ends at the first other key
    // of the leaf, and nothing after the leaf can extend it. Present or absent, the key is
    // settled here.
    const int32_t w = shape.w();
    const int32_t* keys = shape.leafKeys(spot.block, spot.leaves, spot.leaf);
    const int32_t* values = keys + w;
    int32_t i = firstAtLeast(keys, w, key);
    for (; i < w && keys[i] == key; ++i)
      op.pass(values[i]);
    if (i < w) {
      op.thatsallfolks();
      return;
    }
    // A full leaf (only ever for a moment, inside an insertion): go on from the next leaf.
    walkGet(store, spot.group, entries.continueGet(entries.indexOf(spot.leaf + 2, 1), key, op), key,
            op);
    return;
  }
  walkGet(store, spot.group, entries.get(spot.leaf + 1, key, op), key, op);
}

template <class S>
void lookupRangeIn(GroupStore& store, GroupHandle group, int32_t index, int32_t lowKey,
                   int32_t highKey, util::IntPushOperator& op) {
  const S shape(store);
  const LeafSpot spot = descend(shape, group, index, lowKey);
  const int32_t w = shape.w();
  std::byte* block = spot.block;
  int32_t leaf = spot.leaf;
  const int32_t* keys = shape.leafKeys(block, spot.leaves, leaf);
  // A scan pushes values from its first entry on: ask for them with the keys.
  GroupStore::prefetch(keys + w, 4 * static_cast<size_t>(w));
  int32_t i = firstAtLeast(keys, w, lowKey);
  // The entries after this leaf are >= lowKey when a separator follows it (the descent
  // stopped left of the first separator >= lowKey) or when the leaf holds an entry >= lowKey.
  // Without either, and for the largest high key (which the filler does not stop), the
  // general walk searches every leaf afresh.
  if (highKey == kUnusedKey ||
      (leaf >= spot.separatorCount && i >= GroupStore::leafSizes(block)[leaf])) {
    const LeafGroupArrayMap entries(store, spot.group);
    walkRange(store, spot.group, entries.queryRange(leaf + 1, lowKey, highKey, op), lowKey, highKey,
              op);
    return;
  }
  const size_t leafBytes = shape.leafBytes();
  const size_t leafInts = leafBytes / sizeof(int32_t);
  int32_t leaves = spot.leaves;
  // Only the first group's leaves have separators known (those of the node above it).
  int32_t separatorCount = spot.separatorCount;
  for (;;) {
    // The scan reads the next leaf when its high key reaches the separator after this one.
    const bool beyond = leaf < separatorCount && highKey >= spot.separators[leaf];
    if (beyond)
      GroupStore::prefetch(keys + leafInts, leafBytes);
    const int32_t* values = keys + w;
    // highKey is below the filler, which therefore ends the leaf's entries.
    for (; i < w && keys[i] <= highKey; ++i)
      op.pass(values[i]);
    if (i < w && !beyond && (leaf < separatorCount || i < GroupStore::leafSizes(block)[leaf]))
      break;  // a separator above highKey after the leaf, or an entry above it
    // The leaf is done: the next one, in this group or the next, from its first entry.
    if (++leaf < leaves) {
      keys += leafInts;
    } else {
      const GroupHandle next = headerOf(block)->next;
      if (next == 0)
        break;
      block = store.at(next);
      leaves = headerOf(block)->members;
      leaf = 0;
      separatorCount = 0;
      keys = shape.leafKeys(block, leaves, 0);
    }
    i = 0;
  }
  op.thatsallfolks();
}

}  // namespace

void lookupValues(GroupStore& store, GroupHandle group, int32_t index, int32_t key,
                  util::IntPushOperator& op) {
  if (store.m() == kDefaultM && store.w() == kDefaultW)
    lookupValuesIn<Shape<kDefaultM, kDefaultW>>(store, group, index, key, op);
  else
    lookupValuesIn<Shape<0, 0>>(store, group, index, key, op);
}

void lookupRange(GroupStore& store, GroupHandle group, int32_t index, int32_t lowKey,
                 int32_t highKey, util::IntPushOperator& op) {
  if (store.m() == kDefaultM && store.w() == kDefaultW)
    lookupRangeIn<Shape<kDefaultM, kDefaultW>>(store, group, index, lowKey, highKey, op);
  else
    lookupRangeIn<Shape<0, 0>>(store, group, index, lowKey, highKey, op);
}

}  // namespace core::csbtree
