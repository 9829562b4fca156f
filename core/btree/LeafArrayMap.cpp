#include "core/btree/LeafArrayMap.h"

#include <algorithm>
#include <cassert>

#include "core/btree/BTreeConstants.h"

namespace core::btree {

using enum util::LookupResult;

namespace {

// The first position whose key is >= the searched key, from a search result.
int32_t firstNotBelow(int32_t searchResult) {
  return searchResult >= 0 ? searchResult : -searchResult - 1;
}

int32_t checkedCapacity(int32_t capacity) {
  assert(capacity >= 1 && capacity <= 2 * BTreeConstants::kMaxParameter);
  return capacity;
}

}  // namespace

LeafArrayMap::LeafArrayMap(int32_t capacity, int32_t* storage)
    : capacity_(checkedCapacity(capacity)), keys_(storage) {}

// Zero-filled, so that the key slot of a leaf that never held an entry reads as 0.
LeafArrayMap::LeafArrayMap(int32_t capacity)
    : capacity_(checkedCapacity(capacity)),
      ownedStorage_(std::make_unique<int32_t[]>(2 * static_cast<size_t>(capacity_))),
      keys_(ownedStorage_.get()) {}

bool LeafArrayMap::tryAdd(int32_t key, int32_t value) {
  if (currentSize_ == 0) {
    insertAt(key, value, 0);
    return false;
  }
  int32_t pos = firstNotBelow(search(key));
  while (pos < currentSize_ && keys_[pos] <= key)
    ++pos;
  if (pos == currentSize_)
    return true;
  insertAt(key, value, pos);
  return false;
}

void LeafArrayMap::addAtPos(int32_t key, int32_t value, int32_t pos) {
  assert(pos >= 0);
  insertAt(key, value, std::min(pos, currentSize_));
}

void LeafArrayMap::insertAt(int32_t key, int32_t value, int32_t pos) {
  assert(currentSize_ < capacity_);
  int32_t* vals = values();
  std::copy_backward(keys_ + pos, keys_ + currentSize_, keys_ + currentSize_ + 1);
  std::copy_backward(vals + pos, vals + currentSize_, vals + currentSize_ + 1);
  keys_[pos] = key;
  vals[pos] = value;
  ++currentSize_;
}

util::LookupResult LeafArrayMap::get(int32_t key, util::IntPushOperator& op) const {
  if (currentSize_ == 0)
    return CONTINUE_WITH_BINSEARCH;
  const int32_t found = search(key);
  if (found >= 0)
    return continueGet(found, key, op);
  // Every stored key is smaller: the key may still start the next leaf.
  return -found - 1 == currentSize_ ? CONTINUE_WITH_BINSEARCH : STOP;
}

util::LookupResult LeafArrayMap::continueGet(int32_t pos, int32_t key,
                                             util::IntPushOperator& op) const {
  assert(pos >= 0);
  // Locals, so that the opaque pass() call does not force the fields to be read again.
  const int32_t size = currentSize_;
  const int32_t* keys = keys_;
  const int32_t* vals = values();
  while (pos < size && keys[pos] == key) {
    op.pass(vals[pos]);
    ++pos;
  }
  return pos == size ? CONTINUE_WITH_SCAN : STOP;
}

util::LookupResult LeafArrayMap::queryRange(int32_t lowKey, int32_t highKey,
                                            util::IntPushOperator& op) const {
  if (currentSize_ == 0)
    return CONTINUE_WITH_BINSEARCH;
  return continueScan(firstNotBelow(search(lowKey)), highKey, op);
}

util::LookupResult LeafArrayMap::continueScan(int32_t pos, int32_t highKey,
                                              util::IntPushOperator& op) const {
  assert(pos >= 0);
  // At the end already: every key here lies below the range, or the map is empty.
  if (pos == currentSize_)
    return CONTINUE_WITH_BINSEARCH;
  if (pos > currentSize_ || keys_[pos] > highKey)
    return STOP;
  const int32_t size = currentSize_;
  const int32_t* keys = keys_;
  const int32_t* vals = values();
  while (pos < size && keys[pos] <= highKey) {
    op.pass(vals[pos]);
    ++pos;
  }
  return pos == size ? CONTINUE_WITH_SCAN : STOP;
}

bool LeafArrayMap::remove(int32_t key, int32_t value) {
  if (currentSize_ == 0)
    return true;
  const int32_t found = search(key);
  if (found < 0)
    return -found - 1 == currentSize_;
  int32_t end = found;  // one past the last entry of the key's run, or the selected entry
  if (value == BTreeConstants::ALL_MAPPINGS) {
    while (end < currentSize_ && keys_[end] == key)
      ++end;
    const bool runReachedEnd = end == currentSize_;
    eraseRange(found, end);
    return runReachedEnd;
  }
  const int32_t* vals = values();
  for (; end < currentSize_ && keys_[end] == key; ++end) {
    if (vals[end] == value) {
      deleteAtPos(end);
      return false;
    }
  }
  return end == currentSize_;
}

void LeafArrayMap::eraseRange(int32_t from, int32_t to) {
  int32_t* vals = values();
  std::copy(keys_ + to, keys_ + currentSize_, keys_ + from);
  std::copy(vals + to, vals + currentSize_, vals + from);
  currentSize_ -= to - from;
}

void LeafArrayMap::split(LeafArrayMap& upper) {
  const int32_t mid = currentSize_ / 2;
  const int32_t moved = currentSize_ - mid;
  assert(&upper != this && upper.currentSize_ == 0 && upper.capacity_ >= moved);
  std::copy(keys_ + mid, keys_ + currentSize_, upper.keys_);
  std::copy(values() + mid, values() + currentSize_, upper.values());
  upper.currentSize_ = moved;
  currentSize_ = mid;
}

std::string LeafArrayMap::toString() const {
  std::string text;
  const int32_t* vals = values();
  for (int32_t i = 0; i < currentSize_; ++i) {
    if (i > 0)
      text += ", ";
    text += std::to_string(keys_[i]);
    text += '=';
    text += std::to_string(vals[i]);
  }
  return text;
}

}  // namespace core::btree
