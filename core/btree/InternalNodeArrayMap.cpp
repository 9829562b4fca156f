#include "core/btree/InternalNodeArrayMap.h"

#include <algorithm>
#include <cassert>
#include <stdexcept>

#include "core/btree/BTreeConstants.h"

namespace core::btree {

namespace {

std::string nameOf(NodeHandle node) {
  if (node == NodePool::kSentinel)
    return "NULL";
  return node == NodePool::kNoNode ? "null" : std::to_string(static_cast<int32_t>(node));
}

int32_t checkedCapacity(int32_t capacity) {
  if (capacity < 0 || capacity > 2 * BTreeConstants::kMaxParameter) {
    throw std::invalid_argument("an internal entry map holds 0 to " +
                                std::to_string(2 * BTreeConstants::kMaxParameter) + " keys, not " +
                                std::to_string(capacity));
  }
  return capacity;
}

}  // namespace

InternalNodeArrayMap::InternalNodeArrayMap(int32_t capacity)
    : owned_(std::make_unique<int32_t[]>(blockInts(checkedCapacity(capacity)))),
      block_(owned_.get(), capacity) {
  initialize(block_.data(), capacity);
}

void InternalNodeArrayMap::initialize(int32_t* block, int32_t capacity) {
  const InternalBlock node(block, capacity);
  node.count() = 0;
  node.children()[0] = NodePool::kSentinel;
}

int32_t InternalNodeArrayMap::binarySearch(const int32_t* a, int32_t key, int32_t low,
                                           int32_t high) {
  return util::firstHitSearch(a, key, low, high);
}

std::string InternalNodeArrayMap::toString() const {
  const NodeHandle* nodes = children();
  std::string text = nameOf(nodes[0]) + " | ";
  for (int32_t i = 0; i < size(); ++i) {
    text += std::to_string(keys()[i]);
    text += " | ";
    text += nameOf(nodes[i + 1]);
    if (i + 1 < size())
      text += " | ";
  }
  return text;
}

int32_t InternalNodeArrayMap::getMidKey() const {
  return keyAt(size() / 2);
}

void InternalNodeArrayMap::put(int32_t key, NodeHandle node) {
  const int32_t n = size();
  const int32_t found = n == 0 ? -1 : search(key);
  int32_t* keys = this->keys();
  NodeHandle* nodes = children();
  if (found >= 0) {
    nodes[found + 1] = node;
    return;
  }
  if (n >= capacity())
    return;  // full: refused
  const int32_t pos = -found - 1;
  std::copy_backward(keys + pos, keys + n, keys + n + 1);
  std::copy_backward(nodes + pos + 1, nodes + n + 1, nodes + n + 2);
  keys[pos] = key;
  nodes[pos + 1] = node;
  setSize(n + 1);
}

bool InternalNodeArrayMap::erase(int32_t key) {
  const int32_t found = search(key);
  if (found < 0)
    return false;
  deleteAtPos(found);
  return true;
}

void InternalNodeArrayMap::deleteAtPos(int32_t pos) {
  const int32_t n = size();
  if (pos < 0 || pos >= n)
    return;
  int32_t* keys = this->keys();
  NodeHandle* nodes = children();
  std::copy(keys + pos + 1, keys + n, keys + pos);
  std::copy(nodes + pos + 2, nodes + n + 1, nodes + pos + 1);
  nodes[n] = NodePool::kNoNode;
  setSize(n - 1);
}

InternalNodeArrayMap InternalNodeArrayMap::split() {
  InternalNodeArrayMap upper(capacity());
  if (size() > 0)
    split(upper);
  return upper;
}

void InternalNodeArrayMap::split(InternalNodeArrayMap& upper) {
  const int32_t n = size();
  const int32_t m = n / 2;
  assert(n > 0 && upper.keys() != keys() && upper.size() == 0 && upper.capacity() >= n - m - 1);
  const int32_t* keys = this->keys();
  NodeHandle* nodes = children();
  NodeHandle* upperNodes = upper.children();
  upperNodes[0] = nodes[m + 1];
  std::copy(keys + m + 1, keys + n, upper.keys());
  std::copy(nodes + m + 2, nodes + n + 1, upperNodes + 1);
  std::fill(nodes + m + 1, nodes + n + 1, NodePool::kNoNode);
  upper.setSize(n - m - 1);
  setSize(m);
}

int32_t InternalNodeArrayMap::putAndSplit(int32_t key, NodeHandle node,
                                          InternalNodeArrayMap& upper) {
  return putAndSplit(key, node, upper, (size() + 1) / 2);
}

int32_t InternalNodeArrayMap::putAndSplit(int32_t key, NodeHandle node, InternalNodeArrayMap& upper,
                                          int32_t lowerKeys) {
  // With the key the map would hold n + 1 keys: the lower m stay, key m goes up, the rest
  // move. The new key sits at position p of that sequence, its child at p + 1.
  const int32_t n = size();
  // Both sides keep a key where there are two to keep (a map of one key keeps it).
  const int32_t m = std::clamp(lowerKeys, 1, std::max(1, n - 1));
  assert(n == capacity() && n >= 1 && upper.keys() != keys() && upper.size() == 0 &&
         upper.capacity() >= n - m);
  int32_t* keys = this->keys();
  NodeHandle* nodes = children();
  int32_t* upperKeys = upper.keys();
  NodeHandle* upperNodes = upper.children();
  const int32_t found = search(key);
  assert(found < 0);
  const int32_t p = -found - 1;
  int32_t middle;
  if (p < m) {
    // The key stays below; key m - 1 goes up, keys m .. n - 1 with children m .. n move.
    middle = keys[m - 1];
    std::copy(keys + m, keys + n, upperKeys);
    std::copy(nodes + m, nodes + n + 1, upperNodes);
    std::copy_backward(keys + p, keys + m - 1, keys + m);
    std::copy_backward(nodes + p + 1, nodes + m, nodes + m + 1);
    keys[p] = key;
    nodes[p + 1] = node;
  } else if (p == m) {
    // The key itself goes up; its child becomes the first child above.
    middle = key;
    upperNodes[0] = node;
    std::copy(keys + m, keys + n, upperKeys);
    std::copy(nodes + m + 1, nodes + n + 1, upperNodes + 1);
  } else {
    // Key m goes up; the keys above it move, the new one in its place among them.
    middle = keys[m];
    const int32_t at = p - m - 1;
    std::copy(keys + m + 1, keys + p, upperKeys);
    upperKeys[at] = key;
    std::copy(keys + p, keys + n, upperKeys + at + 1);
    std::copy(nodes + m + 1, nodes + p + 1, upperNodes);
    upperNodes[at + 1] = node;
    std::copy(nodes + p + 1, nodes + n + 1, upperNodes + at + 2);
  }
  upper.setSize(n - m);
  setSize(m);
  return middle;
}

}  // namespace core::btree
