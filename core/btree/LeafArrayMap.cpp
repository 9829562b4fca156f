#include "core/btree/LeafArrayMap.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

#include "core/btree/BTreeConstants.h"

namespace core::btree {

using enum util::LookupResult;

namespace {

// The first position whose key is >= the searched key, from a search result.
int32_t firstNotBelow(int32_t searchResult) {
  return searchResult >= 0 ? searchResult : -searchResult - 1;
}

int32_t checkedCapacity(int32_t capacity) {
  if (capacity < 1 || capacity > 2 * BTreeConstants::kMaxParameter) {
    throw std::invalid_argument("a leaf entry map holds 1 to " +
                                std::to_string(2 * BTreeConstants::kMaxParameter) +
                                " entries, not " + std::to_string(capacity));
  }
  return capacity;
}

}  // namespace

// Zero-filled, so that the key slot of a map that never held an entry reads as 0.
LeafArrayMap::LeafArrayMap(int32_t capacity)
    : owned_(std::make_unique<int32_t[]>(blockInts(checkedCapacity(capacity)))),
      block_(owned_.get(), capacity) {}

void LeafArrayMap::initialize(int32_t* block, int32_t capacity) {
  assert(capacity >= 1);
  const LeafBlock leaf(block, capacity);
  leaf.count() = 0;
  leaf.setNext(0);
  leaf.keys()[0] = 0;  // the first key slot
}

int32_t LeafArrayMap::placeFor(int32_t key) const {
  const int32_t size = this->size();
  const int32_t* keys = this->keys();
  int32_t pos = firstNotBelow(search(key));
  while (pos < size && keys[pos] <= key)
    ++pos;
  return pos;
}

bool LeafArrayMap::tryAdd(int32_t key, int32_t value) {
  if (full())
    return true;
  if (size() == 0) {
    insertAt(key, value, 0);
    return false;
  }
  const int32_t pos = placeFor(key);
  if (pos == size())
    return true;
  insertAt(key, value, pos);
  return false;
}

void LeafArrayMap::addAtPos(int32_t key, int32_t value, int32_t pos) {
  if (full() || pos < 0)
    return;
  insertAt(key, value, std::min(pos, size()));
}

void LeafArrayMap::insertAt(int32_t key, int32_t value, int32_t pos) {
  const int32_t size = this->size();
  assert(size < capacity());
  int32_t* keys = this->keys();
  int32_t* vals = values();
  std::copy_backward(keys + pos, keys + size, keys + size + 1);
  std::copy_backward(vals + pos, vals + size, vals + size + 1);
  keys[pos] = key;
  vals[pos] = value;
  setSize(size + 1);
}

util::LookupResult LeafArrayMap::get(int32_t key, util::IntPushOperator& op) const {
  if (size() == 0)
    return CONTINUE_WITH_BINSEARCH;
  const int32_t found = search(key);
  if (found >= 0)
    return continueGet(found, key, op);
  // Every stored key is smaller: the key may still start the next leaf.
  return -found - 1 == size() ? CONTINUE_WITH_BINSEARCH : STOP;
}

util::LookupResult LeafArrayMap::continueGet(int32_t pos, int32_t key,
                                             util::IntPushOperator& op) const {
  if (pos < 0)
    return STOP;
  // Locals, so that the opaque pass() call does not force the fields to be read again.
  const int32_t size = this->size();
  const int32_t* keys = this->keys();
  const int32_t* vals = values();
  while (pos < size && keys[pos] == key) {
    op.pass(vals[pos]);
    ++pos;
  }
  return pos == size ? CONTINUE_WITH_SCAN : STOP;
}

util::LookupResult LeafArrayMap::queryRange(int32_t lowKey, int32_t highKey,
                                            util::IntPushOperator& op) const {
  if (size() == 0)
    return CONTINUE_WITH_BINSEARCH;
  return continueScan(firstNotBelow(search(lowKey)), highKey, op);
}

util::LookupResult LeafArrayMap::continueScan(int32_t pos, int32_t highKey,
                                              util::IntPushOperator& op) const {
  if (pos < 0)
    return STOP;
  // At the end already: every key here lies below the range, or the map is empty.
  const int32_t size = this->size();
  const int32_t* keys = this->keys();
  if (pos == size)
    return CONTINUE_WITH_BINSEARCH;
  if (pos > size || keys[pos] > highKey)
    return STOP;
  const int32_t* vals = values();
  while (pos < size && keys[pos] <= highKey) {
    op.pass(vals[pos]);
    ++pos;
  }
  return pos == size ? CONTINUE_WITH_SCAN : STOP;
}

bool LeafArrayMap::remove(int32_t key, int32_t value) {
  const int32_t size = this->size();
  if (size == 0)
    return true;
  const int32_t found = search(key);
  if (found < 0)
    return -found - 1 == size;
  const int32_t* keys = this->keys();
  int32_t end = found;  // one past the last entry of the key's run, or the selected entry
  if (value == BTreeConstants::ALL_MAPPINGS) {
    while (end < size && keys[end] == key)
      ++end;
    const bool runReachedEnd = end == size;
    eraseRange(found, end);
    return runReachedEnd;
  }
  const int32_t* vals = values();
  for (; end < size && keys[end] == key; ++end) {
    if (vals[end] == value) {
      deleteAtPos(end);
      return false;
    }
  }
  return end == size;
}

void LeafArrayMap::eraseRange(int32_t from, int32_t to) {
  const int32_t size = this->size();
  int32_t* keys = this->keys();
  int32_t* vals = values();
  std::copy(keys + to, keys + size, keys + from);
  std::copy(vals + to, vals + size, vals + from);
  setSize(size - (to - from));
}

LeafArrayMap LeafArrayMap::split() {
  LeafArrayMap upper(capacity());
  split(upper);
  return upper;
}

void LeafArrayMap::split(LeafArrayMap& upper) {
  const int32_t size = this->size();
  const int32_t mid = size / 2;
  const int32_t moved = size - mid;
  assert(upper.keys() != keys() && upper.size() == 0 && upper.capacity() >= moved);
  std::copy(keys() + mid, keys() + size, upper.keys());
  std::copy(values() + mid, values() + size, upper.values());
  upper.setSize(moved);
  setSize(mid);
}

void LeafArrayMap::insertAndSplit(int32_t key, int32_t value, int32_t pos, LeafArrayMap& upper) {
  insertAndSplit(key, value, pos, upper, (size() + 1) / 2);
}

void LeafArrayMap::insertAndSplit(int32_t key, int32_t value, int32_t pos, LeafArrayMap& upper,
                                  int32_t lowerEntries) {
  // The map with the entry would hold n + 1 entries, of which the upper (n + 1) - mid move.
  const int32_t n = size();
  const int32_t mid = std::clamp(lowerEntries, 1, n);
  assert(n == capacity() && pos >= 0 && pos <= n);
  assert(upper.keys() != keys() && upper.size() == 0 && upper.capacity() >= n + 1 - mid);
  int32_t* keys = this->keys();
  int32_t* vals = values();
  int32_t* upperKeys = upper.keys();
  int32_t* upperVals = upper.values();
  if (pos < mid) {
    // The entry stays below: entries mid - 1 .. n - 1 move, then the entry goes in.
    std::copy(keys + mid - 1, keys + n, upperKeys);
    std::copy(vals + mid - 1, vals + n, upperVals);
    std::copy_backward(keys + pos, keys + mid - 1, keys + mid);
    std::copy_backward(vals + pos, vals + mid - 1, vals + mid);
    keys[pos] = key;
    vals[pos] = value;
  } else {
    // The entry moves up with the entries mid .. n - 1, in its place among them.
    const int32_t at = pos - mid;
    std::copy(keys + mid, keys + pos, upperKeys);
    std::copy(vals + mid, vals + pos, upperVals);
    upperKeys[at] = key;
    upperVals[at] = value;
    std::copy(keys + pos, keys + n, upperKeys + at + 1);
    std::copy(vals + pos, vals + n, upperVals + at + 1);
  }
  upper.setSize(n + 1 - mid);
  setSize(mid);
}

std::string LeafArrayMap::toString() const {
  std::string text;
  const int32_t* keys = this->keys();
  const int32_t* vals = values();
  for (int32_t i = 0; i < size(); ++i) {
    if (i > 0)
      text += ", ";
    text += std::to_string(keys[i]);
    text += '=';
    text += std::to_string(vals[i]);
  }
  return text;
}

}  // namespace core::btree
