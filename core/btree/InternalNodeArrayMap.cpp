#include "core/btree/InternalNodeArrayMap.h"

#include <algorithm>
#include <cassert>

#include "core/btree/BTreeConstants.h"
#include "core/btree/InternalNode.h"

namespace core::btree {

namespace {

std::string nameOf(const BTreeNode* node) {
  if (node == &InternalNode::NULL_NODE)
    return "NULL";
  return node == nullptr ? "null" : std::to_string(node->identityNumber());
}

int32_t checkedCapacity(int32_t capacity) {
  assert(capacity >= 0 && capacity <= 2 * BTreeConstants::kMaxParameter);
  return capacity;
}

}  // namespace

InternalNodeArrayMap::InternalNodeArrayMap(int32_t capacity, Storage storage)
    : capacity_(checkedCapacity(capacity)), keys_(storage.keys), nodes_(storage.nodes) {
  std::fill_n(nodes_, capacity_ + 1, nullptr);
  nodes_[0] = &InternalNode::NULL_NODE;
}

InternalNodeArrayMap::InternalNodeArrayMap(int32_t capacity)
    : capacity_(checkedCapacity(capacity)),
      ownedKeys_(std::make_unique<int32_t[]>(capacity_)),
      ownedNodes_(std::make_unique<BTreeNode*[]>(capacity_ + 1)),
      keys_(ownedKeys_.get()),
      nodes_(ownedNodes_.get()) {
  nodes_[0] = &InternalNode::NULL_NODE;
}

std::string InternalNodeArrayMap::toString() const {
  std::string text = nameOf(nodes_[0]) + " | ";
  for (int32_t i = 0; i < currentSize_; ++i) {
    text += std::to_string(keys_[i]);
    text += " | ";
    text += nameOf(nodes_[i + 1]);
    if (i + 1 < currentSize_)
      text += " | ";
  }
  return text;
}

int32_t InternalNodeArrayMap::getMidKey() const {
  return keyAt(currentSize_ / 2);
}

void InternalNodeArrayMap::put(int32_t key, BTreeNode* node) {
  const int32_t found = currentSize_ == 0 ? -1 : search(key);
  if (found >= 0) {
    nodes_[found + 1] = node;
    return;
  }
  assert(currentSize_ < capacity_);
  const int32_t pos = -found - 1;
  std::copy_backward(keys_ + pos, keys_ + currentSize_, keys_ + currentSize_ + 1);
  std::copy_backward(nodes_ + pos + 1, nodes_ + currentSize_ + 1, nodes_ + currentSize_ + 2);
  keys_[pos] = key;
  nodes_[pos + 1] = node;
  ++currentSize_;
}

bool InternalNodeArrayMap::erase(int32_t key) {
  const int32_t found = search(key);
  if (found < 0)
    return false;
  deleteAtPos(found);
  return true;
}

void InternalNodeArrayMap::deleteAtPos(int32_t pos) {
  assert(pos >= 0 && pos < currentSize_);
  std::copy(keys_ + pos + 1, keys_ + currentSize_, keys_ + pos);
  std::copy(nodes_ + pos + 2, nodes_ + currentSize_ + 1, nodes_ + pos + 1);
  nodes_[currentSize_] = nullptr;
  --currentSize_;
}

void InternalNodeArrayMap::split(InternalNodeArrayMap& upper) {
  const int32_t n = currentSize_;
  const int32_t m = n / 2;
  assert(n > 0 && &upper != this && upper.currentSize_ == 0 && upper.capacity_ >= n - m - 1);
  upper.nodes_[0] = nodes_[m + 1];
  std::copy(keys_ + m + 1, keys_ + n, upper.keys_);
  std::copy(nodes_ + m + 2, nodes_ + n + 1, upper.nodes_ + 1);
  std::fill(nodes_ + m + 1, nodes_ + n + 1, nullptr);
  upper.currentSize_ = n - m - 1;
  currentSize_ = m;
}

}  // namespace core::btree
