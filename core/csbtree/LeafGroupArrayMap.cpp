#include "core/csbtree/LeafGroupArrayMap.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/KeySearch.h"

namespace core::csbtree {

LeafGroupArrayMap::LeafGroupArrayMap(GroupStore& store) : LeafGroupArrayMap(store, 1) {
  std::fill_n(keysOf(1), store.w(), kUnusedKey);
}

LeafGroupArrayMap::LeafGroupArrayMap(GroupStore& store, int32_t leaves)
    : store_(&store), handle_(store.allocateLeafGroup(leaves)) {
  assert(leaves >= 0);
  GroupHeader* h = header();
  *h = GroupHeader{0, 0, leaves, 0, 0};
  std::fill_n(sizes(), leaves, 0);
}

void LeafGroupArrayMap::release() {
  store_->arena().free(handle_, store_->leafGroupLines(leaves()));
  handle_ = 0;
}

bool LeafGroupArrayMap::tryAdd(int32_t leaf, int32_t key, int32_t value) {
  assert(leaf >= 1 && leaf <= leaves());
  const int32_t w = store_->w();
  // A full leaf hands an entry that belongs at its end to the next leaf and refuses any other.
  // The leaf group never lets a leaf stay full, so in a tree the first leaf tried stores it.
  for (; leaf <= leaves(); ++leaf) {
    const int32_t* first = keysOf(leaf);
    // The whole leaf, filler included; only a key equal to the filler passes the leaf's
    // entries, and it goes right after them.
    const int32_t count = size(leaf);
    const int32_t pos =
        std::min(static_cast<int32_t>(countedUpperBound(first, w, key) - first), count);
    if (count < w) {
      addAtPos(key, value, leaf, leafStart(leaf) + pos);
      return false;
    }
    if (pos < w)
      return true;
  }
  return true;
}

void LeafGroupArrayMap::addAtPos(int32_t key, int32_t value, int32_t leaf, int64_t pos) {
  assert(leaf >= 1 && leaf <= leaves());
  const int32_t count = size(leaf);
  int64_t at = pos - leafStart(leaf);
  if (count >= store_->w() || at < 0)
    return;  // a full leaf, or a slot before the leaf: refused
  int32_t* keys = keysOf(leaf);
  int32_t* values = keys + store_->w();
  if (at >= count) {
    at = count;
  } else {
    std::copy_backward(keys + at, keys + count, keys + count + 1);
    std::copy_backward(values + at, values + count, values + count + 1);
  }
  keys[at] = key;
  values[at] = value;
  ++sizes()[leaf - 1];
}

util::LookupResult LeafGroupArrayMap::get(int32_t leaf, int32_t key,
                                          util::IntPushOperator& op) const {
  assert(leaf >= 1 && leaf <= leaves());
  const int32_t w = store_->w();
  const int32_t count = leaves();
  // Every leaf after the first one whose entries are not all smaller than the key only holds
  // keys >= key, so the first entry >= key decides.
  for (; leaf <= count; ++leaf) {
    const int32_t* keys = keysOf(leaf);
    const auto pos = static_cast<int32_t>(countedLowerBound(keys, w, key) - keys);
    if (pos < size(leaf)) {
      if (keys[pos] != key)
        return STOP;
      return continueGet(leafStart(leaf) + pos, key, op);
    }
  }
  return CONTINUE_WITH_BINSEARCH;
}

util::LookupResult LeafGroupArrayMap::continueGet(int64_t pos, int32_t key,
                                                  util::IntPushOperator& op) const {
  if (pos > endSlot())
    return STOP;
  const int32_t w = store_->w();
  const int32_t count = leaves();
  auto leaf = static_cast<int32_t>(pos / w) + 1;
  auto from = static_cast<int32_t>(pos % w);
  for (; leaf <= count; ++leaf, from = 0) {
    const int32_t* keys = keysOf(leaf);
    const int32_t* values = keys + w;
    const int32_t end = size(leaf);
    for (int32_t i = from; i < end; ++i) {
      if (keys[i] != key)
        return STOP;
      op.pass(values[i]);
    }
  }
  return CONTINUE_WITH_SCAN;
}

util::LookupResult LeafGroupArrayMap::queryRange(int32_t leaf, int32_t lowKey, int32_t highKey,
                                                 util::IntPushOperator& op) const {
  assert(leaf >= 1 && leaf <= leaves());
  const int32_t w = store_->w();
  for (; leaf <= leaves(); ++leaf) {
    const int32_t* keys = keysOf(leaf);
    const auto pos = static_cast<int32_t>(countedLowerBound(keys, w, lowKey) - keys);
    if (pos < size(leaf))
      return scan(leaf, pos, highKey, op);
  }
  return CONTINUE_WITH_BINSEARCH;
}

util::LookupResult LeafGroupArrayMap::continueScan(int64_t pos, int32_t highKey,
                                                   util::IntPushOperator& op) const {
  if (pos > endSlot())
    return STOP;
  const int32_t w = store_->w();
  return scan(static_cast<int32_t>(pos / w) + 1, static_cast<int32_t>(pos % w), highKey, op);
}

util::LookupResult LeafGroupArrayMap::scan(int32_t leaf, int32_t from, int32_t highKey,
                                           util::IntPushOperator& op) const {
  // Locals, so that the call per value does not make the compiler reload anything.
  std::byte* const block = store_->at(handle_);
  const int32_t* const sizeOf = GroupStore::leafSizes(block);
  const int32_t leafCount = leaves();
  const int32_t w = store_->w();
  const size_t leafBytes = store_->leafBytes();
  const auto* first = reinterpret_cast<const std::byte*>(store_->leafKeys(block, leafCount, 0));
  // Below the largest key, a leaf with unused slots ends in the filler, which stops the run
  // by its key alone: the loop then makes one comparison per entry.
  const bool fillerStops = highKey < kUnusedKey;
  bool pushed = false;
  for (; leaf <= leafCount; ++leaf, from = 0) {
    const auto* keys =
        reinterpret_cast<const int32_t*>(first + static_cast<size_t>(leaf - 1) * leafBytes);
    const int32_t* values = keys + w;
    // The scan will likely go on into the next leaf: ask for its lines while this one is read.
    if (leaf < leafCount)
      GroupStore::prefetch(reinterpret_cast<const std::byte*>(keys) + leafBytes, leafBytes);
    const int32_t size = sizeOf[leaf - 1];
    int32_t pos = from;
    if (fillerStops && size < w) {
      while (keys[pos] <= highKey) {
        op.pass(values[pos]);
        ++pos;
      }
      pushed = pushed || pos > from;
      if (pos < size)
        return STOP;
    } else {
      for (; pos < size; ++pos) {
        if (keys[pos] > highKey)
          return STOP;
        op.pass(values[pos]);
        pushed = true;
      }
    }
  }
  return pushed ? CONTINUE_WITH_SCAN : CONTINUE_WITH_BINSEARCH;
}

LeafGroupArrayMap::Removal LeafGroupArrayMap::removeFrom(int32_t leaf, int32_t key, int32_t value) {
  assert(leaf >= 1 && leaf <= leaves());
  const int32_t w = store_->w();
  int32_t* keys = keysOf(leaf);
  int32_t* values = keys + w;
  const int32_t end = size(leaf);
  const auto first = static_cast<int32_t>(countedLowerBound(keys, w, key) - keys);
  if (first >= end)
    return Removal::kMayFollow;  // every entry is smaller: the key may start in the next leaf
  if (keys[first] != key)
    return Removal::kKeyAbsent;  // a greater key follows: no mapping of the key lies further on
  int32_t last = first;          // one past the run
  while (last < end && keys[last] == key)
    ++last;
  int32_t from = first;
  int32_t to = last;
  if (value != CSBTreeConstants::ALL_MAPPINGS) {
    from = static_cast<int32_t>(std::find(values + first, values + last, value) - values);
    if (from == last)
      return last == end ? Removal::kMayFollow : Removal::kDone;
    to = from + 1;
  }
  std::copy(keys + to, keys + end, keys + from);
  std::copy(values + to, values + end, values + from);
  const int32_t removed = to - from;
  std::fill(keys + end - removed, keys + end, kUnusedKey);
  sizes()[leaf - 1] -= removed;
  return value == CSBTreeConstants::ALL_MAPPINGS && last == end ? Removal::kMayFollow
                                                                : Removal::kDone;
}

void LeafGroupArrayMap::copyLeaves(const LeafGroupArrayMap& from, int32_t fromLeaf, int32_t count,
                                   int32_t toLeaf) {
  if (count <= 0)
    return;
  // The leaves lie end to end in both blocks: one copy for all of them.
  std::memcpy(keysOf(toLeaf), from.keysOf(fromLeaf),
              static_cast<size_t>(count) * store_->leafBytes());
  std::copy_n(from.sizes() + fromLeaf - 1, count, sizes() + toLeaf - 1);
}

void LeafGroupArrayMap::copyEntries(const LeafGroupArrayMap& from, int32_t fromLeaf, int32_t first,
                                    int32_t count, int32_t toLeaf) {
  const int32_t w = store_->w();
  const int32_t* keys = from.keysOf(fromLeaf) + first;
  int32_t* to = keysOf(toLeaf);
  std::copy_n(keys, count, to);
  std::fill(to + count, to + w, kUnusedKey);
  std::copy_n(keys + w, count, to + w);
  sizes()[toLeaf - 1] = count;
}

void LeafGroupArrayMap::split(int32_t leaf) {
  split(leaf, size(leaf) / 2);
}

void LeafGroupArrayMap::split(int32_t leaf, int32_t lowerEntries) {
  const int32_t count = leaves();
  assert(leaf >= 1 && leaf <= count);
  const int32_t entries = size(leaf);
  const int32_t kept = std::clamp(lowerEntries, 0, entries);

  LeafGroupArrayMap grown(*store_, count + 1);
  *grown.header() = *header();
  grown.header()->members = count + 1;
  grown.copyLeaves(*this, 1, leaf - 1, 1);
  grown.copyEntries(*this, leaf, 0, kept, leaf);
  grown.copyEntries(*this, leaf, kept, entries - kept, leaf + 1);
  grown.copyLeaves(*this, leaf + 1, count - leaf, leaf + 2);
  release();
  handle_ = grown.handle_;
}

LeafGroupArrayMap LeafGroupArrayMap::split() {
  return splitGroup((leaves() + 1) / 2);
}

LeafGroupArrayMap LeafGroupArrayMap::splitGroup(int32_t lowerLeaves) {
  const int32_t count = leaves();
  const int32_t staying = std::clamp(lowerLeaves, 0, count);
  const int32_t moving = count - staying;

  LeafGroupArrayMap upper(*store_, moving);
  LeafGroupArrayMap lower(*store_, staying);
  *lower.header() = *header();
  lower.header()->members = staying;
  upper.copyLeaves(*this, staying + 1, moving, 1);
  lower.copyLeaves(*this, 1, staying, 1);
  release();
  handle_ = lower.handle_;
  return upper;
}

int64_t LeafGroupArrayMap::getKeyNumber() const {
  const int32_t* sizeOf = sizes();
  int64_t count = 0;
  for (int32_t i = 0; i < leaves(); ++i)
    count += sizeOf[i];
  return count;
}

std::string LeafGroupArrayMap::toString() const {
  std::string text;
  for (int32_t leaf = 1; leaf <= leaves(); ++leaf) {
    const int32_t* keys = keysOf(leaf);
    for (int32_t n = 0; n < size(leaf); ++n) {
      if (!text.empty())
        text += ", ";
      text += std::to_string(keys[n]);
      text += '=';
      text += std::to_string(keys[store_->w() + n]);
    }
  }
  return text;
}

}  // namespace core::csbtree
