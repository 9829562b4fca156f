#include "core/csbtree/LeafGroupArrayMap.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/KeySearch.h"

namespace core::csbtree {

using enum util::LookupResult;

LeafGroupArrayMap::LeafGroupArrayMap(int32_t two_k_star) : LeafGroupArrayMap(two_k_star, 1) {
  fillUnused(1, 0);
}

LeafGroupArrayMap::LeafGroupArrayMap(int32_t two_k_star, int32_t leaves)
    : two_k_star_(two_k_star),
      numberOfLeaves_(leaves),
      currentGroupSize_(static_cast<int64_t>(leaves) * two_k_star),
      currentSize_(0),
      // Slots are written before they are read, so only the leaf sizes need zeroing; the
      // public constructor and the copies of the splits write the filler.
      block_(std::make_unique_for_overwrite<int32_t[]>(
          static_cast<size_t>(2 * currentGroupSize_ + leaves))),
      keys_(block_.get()),
      values_(keys_ + currentGroupSize_),
      currentLeafSize_(values_ + currentGroupSize_) {
  assert(two_k_star >= 1 && leaves >= 0);
  std::fill_n(currentLeafSize_, leaves, 0);
}

void LeafGroupArrayMap::updateCurrentSize() {
  currentSize_ = numberOfLeaves_ == 0 ? 0 : leafEnd(numberOfLeaves_);
}

void LeafGroupArrayMap::fillUnused(int32_t leaf, int32_t count) {
  std::fill(keys_ + leafStart(leaf) + count, keys_ + leafStart(leaf + 1), kUnusedKey);
}

int64_t LeafGroupArrayMap::lowerBound(int32_t leaf, int32_t key) const {
  const int64_t start = leafStart(leaf);
  // The whole stretch, filler included: the answer does not depend on the leaf size.
  return csbtree::lowerBound(keys_ + start, two_k_star_, key) - keys_;
}

bool LeafGroupArrayMap::tryAdd(int32_t leaf, int32_t key, int32_t value) {
  assert(leaf >= 1 && leaf <= numberOfLeaves_);
  // A full leaf hands an entry that belongs at its end to the next leaf and refuses any other.
  // The leaf group never lets a leaf stay full, so in a tree the first leaf tried stores it.
  for (; leaf <= numberOfLeaves_; ++leaf) {
    const int64_t start = leafStart(leaf);
    const int32_t* first = keys_ + start;
    // The whole stretch, filler included; only a key equal to the filler passes the leaf's
    // entries, and it goes right after them.
    const int32_t count = currentLeafSize_[leaf - 1];
    const int64_t pos = std::min(upperBound(first, two_k_star_, key) - keys_, start + count);
    if (count < two_k_star_) {
      addAtPos(key, value, leaf, pos);
      return false;
    }
    if (pos < start + two_k_star_)
      return true;
  }
  return true;
}

void LeafGroupArrayMap::addAtPos(int32_t key, int32_t value, int32_t leaf, int64_t pos) {
  assert(leaf >= 1 && leaf <= numberOfLeaves_);
  assert(currentLeafSize_[leaf - 1] < two_k_star_);
  const int64_t end = leafEnd(leaf);
  if (pos >= end) {
    pos = end;
  } else {
    std::copy_backward(keys_ + pos, keys_ + end, keys_ + end + 1);
    std::copy_backward(values_ + pos, values_ + end, values_ + end + 1);
  }
  keys_[pos] = key;
  values_[pos] = value;
  ++currentLeafSize_[leaf - 1];
  if (leaf == numberOfLeaves_)
    ++currentSize_;
}

util::LookupResult LeafGroupArrayMap::get(int32_t leaf, int32_t key,
                                          util::IntPushOperator& op) const {
  assert(leaf >= 1 && leaf <= numberOfLeaves_);
  // Every leaf after the first one whose entries are not all smaller than the key only holds
  // keys >= key, so the first entry >= key decides.
  for (; leaf <= numberOfLeaves_; ++leaf) {
    const int64_t pos = lowerBound(leaf, key);
    if (pos < leafEnd(leaf))
      return keys_[pos] == key ? continueGet(pos, key, op) : STOP;
  }
  return CONTINUE_WITH_BINSEARCH;
}

util::LookupResult LeafGroupArrayMap::continueGet(int64_t pos, int32_t key,
                                                  util::IntPushOperator& op) const {
  if (pos > currentSize_)
    return STOP;
  for (int32_t leaf = static_cast<int32_t>(pos / two_k_star_) + 1; leaf <= numberOfLeaves_;
       ++leaf) {
    const int64_t end = leafEnd(leaf);
    for (pos = std::max(pos, leafStart(leaf)); pos < end; ++pos) {
      if (keys_[pos] != key)
        return STOP;
      op.pass(values_[pos]);
    }
  }
  return CONTINUE_WITH_SCAN;
}

util::LookupResult LeafGroupArrayMap::queryRange(int32_t leaf, int32_t lowKey, int32_t highKey,
                                                 util::IntPushOperator& op) const {
  assert(leaf >= 1 && leaf <= numberOfLeaves_);
  for (; leaf <= numberOfLeaves_; ++leaf) {
    const int64_t pos = lowerBound(leaf, lowKey);
    if (pos < leafEnd(leaf))
      return scan(leaf, pos, highKey, op);
  }
  return CONTINUE_WITH_BINSEARCH;
}

util::LookupResult LeafGroupArrayMap::continueScan(int64_t pos, int32_t highKey,
                                                   util::IntPushOperator& op) const {
  if (pos > currentSize_)
    return STOP;
  return scan(static_cast<int32_t>(pos / two_k_star_) + 1, pos, highKey, op);
}

util::LookupResult LeafGroupArrayMap::scan(int32_t leaf, int64_t pos, int32_t highKey,
                                           util::IntPushOperator& op) const {
  // Locals, so that the call per value does not make the compiler reload the members.
  const int32_t* const keyArray = keys_;
  const int32_t* const valueArray = values_;
  const int32_t* const sizes = currentLeafSize_;
  const int32_t stretch = two_k_star_;
  const int32_t leafCount = numberOfLeaves_;
  // Below the largest key, a leaf with unused slots ends in the filler, which stops the run
  // by its key alone: the loop then makes one comparison per entry.
  const bool fillerStops = highKey < kUnusedKey;
  bool pushed = false;
  for (; leaf <= leafCount; ++leaf) {
    const int64_t start = static_cast<int64_t>(leaf - 1) * stretch;
    // The scan will likely go on into the next leaf: ask for its lines while this one is read.
    if (leaf < leafCount) {
      prefetchRun(keyArray + start + stretch, stretch);
      prefetchRun(valueArray + start + stretch, stretch);
    }
    const int32_t size = sizes[leaf - 1];
    const int64_t end = start + size;
    const int64_t first = pos > start ? pos : start;
    pos = first;
    if (fillerStops && size < stretch) {
      while (keyArray[pos] <= highKey) {
        op.pass(valueArray[pos]);
        ++pos;
      }
      pushed = pushed || pos > first;
      if (pos < end)
        return STOP;
    } else {
      for (; pos < end; ++pos) {
        if (keyArray[pos] > highKey)
          return STOP;
        op.pass(valueArray[pos]);
        pushed = true;
      }
    }
  }
  return pushed ? CONTINUE_WITH_SCAN : CONTINUE_WITH_BINSEARCH;
}

bool LeafGroupArrayMap::remove(int32_t leaf, int32_t key, int32_t value) {
  assert(leaf >= 1 && leaf <= numberOfLeaves_);
  const int64_t end = leafEnd(leaf);
  const int64_t first = lowerBound(leaf, key);
  if (first == end)
    return true;  // every entry is smaller: the key may start in the next leaf
  if (keys_[first] != key)
    return false;        // a greater key follows, so no mapping of the key lies further on
  int64_t last = first;  // one past the run
  while (last < end && keys_[last] == key)
    ++last;
  int64_t from = first;
  int64_t to = last;
  if (value != CSBTreeConstants::ALL_MAPPINGS) {
    from = std::find(values_ + first, values_ + last, value) - values_;
    if (from == last)
      return last == end;
    to = from + 1;
  }
  std::copy(keys_ + to, keys_ + end, keys_ + from);
  std::copy(values_ + to, values_ + end, values_ + from);
  const int64_t removed = to - from;
  std::fill(keys_ + end - removed, keys_ + end, kUnusedKey);
  currentLeafSize_[leaf - 1] -= static_cast<int32_t>(removed);
  if (leaf == numberOfLeaves_)
    currentSize_ -= removed;
  return value == CSBTreeConstants::ALL_MAPPINGS && last == end;
}

void LeafGroupArrayMap::copyEntries(const LeafGroupArrayMap& from, int64_t fromSlot, int32_t count,
                                    int32_t toLeaf) {
  const int64_t to = leafStart(toLeaf);
  std::copy(from.keys_ + fromSlot, from.keys_ + fromSlot + count, keys_ + to);
  std::copy(from.values_ + fromSlot, from.values_ + fromSlot + count, values_ + to);
  currentLeafSize_[toLeaf - 1] = count;
  fillUnused(toLeaf, count);
}

void LeafGroupArrayMap::copyLeaves(const LeafGroupArrayMap& from, int32_t fromLeaf, int32_t count,
                                   int32_t toLeaf) {
  if (count <= 0)
    return;
  // Whole stretches in one copy each (unused slots included) up to the last leaf's entries:
  // a few long copies cost less than one short copy per leaf.
  const int64_t fromSlot = from.leafStart(fromLeaf);
  const int64_t length = from.leafEnd(fromLeaf + count - 1) - fromSlot;
  const int64_t to = leafStart(toLeaf);
  std::copy(from.keys_ + fromSlot, from.keys_ + fromSlot + length, keys_ + to);
  std::copy(from.values_ + fromSlot, from.values_ + fromSlot + length, values_ + to);
  std::copy(from.currentLeafSize_ + fromLeaf - 1, from.currentLeafSize_ + fromLeaf - 1 + count,
            currentLeafSize_ + toLeaf - 1);
  fillUnused(toLeaf + count - 1, currentLeafSize_[toLeaf + count - 2]);
}

void LeafGroupArrayMap::split(int32_t leaf) {
  assert(leaf >= 1 && leaf <= numberOfLeaves_);
  const int64_t base = leafStart(leaf);
  const int32_t count = currentLeafSize_[leaf - 1];
  const int32_t kept = count / 2;

  LeafGroupArrayMap grown(two_k_star_, numberOfLeaves_ + 1);
  grown.copyLeaves(*this, 1, leaf - 1, 1);
  grown.copyEntries(*this, base, kept, leaf);
  grown.copyEntries(*this, base + kept, count - kept, leaf + 1);
  grown.copyLeaves(*this, leaf + 1, numberOfLeaves_ - leaf, leaf + 2);
  grown.updateCurrentSize();
  *this = std::move(grown);
}

LeafGroupArrayMap LeafGroupArrayMap::split() {
  const int32_t staying = (numberOfLeaves_ + 1) / 2;
  const int32_t moving = numberOfLeaves_ - staying;

  LeafGroupArrayMap upper(two_k_star_, moving);
  LeafGroupArrayMap lower(two_k_star_, staying);
  upper.copyLeaves(*this, staying + 1, moving, 1);
  lower.copyLeaves(*this, 1, staying, 1);
  upper.updateCurrentSize();
  lower.updateCurrentSize();
  *this = std::move(lower);
  return upper;
}

int64_t LeafGroupArrayMap::getKeyNumber() const {
  int64_t count = 0;
  for (int32_t i = 0; i < numberOfLeaves_; ++i)
    count += currentLeafSize_[i];
  return count;
}

int64_t LeafGroupArrayMap::allocatedBytes() const {
  return (2 * currentGroupSize_ + numberOfLeaves_) * static_cast<int64_t>(sizeof(int32_t));
}

std::string LeafGroupArrayMap::toString() const {
  std::string text;
  for (int32_t leaf = 1; leaf <= numberOfLeaves_; ++leaf) {
    for (int64_t slot = leafStart(leaf); slot < leafEnd(leaf); ++slot) {
      if (!text.empty())
        text += ", ";
      text += std::to_string(keys_[slot]);
      text += '=';
      text += std::to_string(values_[slot]);
    }
  }
  return text;
}

}  // namespace core::csbtree
