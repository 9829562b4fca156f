#include "core/csbtree/NodeGroupArrayMap.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "core/csbtree/NodeGroup.h"

namespace core::csbtree {

NodeGroupArrayMap::NodeGroupArrayMap(int32_t m) : NodeGroupArrayMap(m, 1) {}

NodeGroupArrayMap::NodeGroupArrayMap(int32_t m, int32_t numberOfNodes)
    : m_(m),
      numberOfNodes_(numberOfNodes),
      keys_(std::make_unique_for_overwrite<int32_t[]>(static_cast<size_t>(m) * numberOfNodes)),
      nodes_(static_cast<size_t>(numberOfNodes)),
      currentSizes_(std::make_unique<int32_t[]>(static_cast<size_t>(numberOfNodes))) {
  assert(m >= 0 && numberOfNodes >= 0);
  std::fill_n(keys_.get(), static_cast<size_t>(m) * numberOfNodes, kUnusedKey);
}

NodeGroupArrayMap::NodeGroupArrayMap(NodeGroupArrayMap&&) noexcept = default;
NodeGroupArrayMap& NodeGroupArrayMap::operator=(NodeGroupArrayMap&&) noexcept = default;
NodeGroupArrayMap::~NodeGroupArrayMap() = default;

int64_t NodeGroupArrayMap::binarySearch(const int32_t* a, int32_t key, int64_t low, int64_t high) {
  while (low <= high) {
    const int64_t mid = (low + high) >> 1;
    if (a[mid] < key)
      low = mid + 1;
    else if (a[mid] > key)
      high = mid - 1;
    else
      return mid;
  }
  return -low - 1;
}

void NodeGroupArrayMap::put(int32_t key, int32_t pos, int32_t node) {
  assert(node >= 0 && node < numberOfNodes_ && currentSizes_[node] < m_);
  int32_t* first = keys_.get() + nodeStart(node);
  const int32_t size = currentSizes_[node];
  if (pos < size) {
    std::copy_backward(first + pos, first + size, first + size + 1);
  } else {
    pos = size;
  }
  first[pos] = key;
  ++currentSizes_[node];
}

int32_t NodeGroupArrayMap::splitNode(int32_t key, int64_t pos, int32_t node,
                                     std::unique_ptr<CSBTreeNode> newChild) {
  assert(node >= 0 && node < numberOfNodes_);
  const int32_t relPos = static_cast<int32_t>(pos - nodeStart(node));
  const int32_t size = currentSizes_[node];
  assert(relPos >= 0 && relPos <= size);
  // Of the size + 1 keys (the node's and the new one), the one at index `half` moves up.
  int32_t half = (size + 1) >> 1;
  enum class Case { kLeft, kMiddle, kRight };
  const Case where = relPos < half ? Case::kLeft : relPos == half ? Case::kMiddle : Case::kRight;
  if (where == Case::kRight)
    ++half;
  const int64_t split = nodeStart(node) + half;
  const int64_t slotEnd = nodeStart(numberOfNodes_);

  NodeGroupArrayMap grown(m_, numberOfNodes_ + 1);
  const int64_t leftEnd = where == Case::kMiddle ? split : split - 1;
  std::copy(keys_.get(), keys_.get() + leftEnd, grown.keys_.get());
  std::copy(keys_.get() + split, keys_.get() + nodeStart(node) + size,
            grown.keys_.get() + nodeStart(node + 1));
  std::copy(keys_.get() + nodeStart(node + 1), keys_.get() + slotEnd,
            grown.keys_.get() + nodeStart(node + 2));

  std::move(nodes_.begin(), nodes_.begin() + node + 1, grown.nodes_.begin());
  grown.nodes_[node + 1].group = std::move(newChild);
  grown.refreshChildKeys(node + 1);
  std::move(nodes_.begin() + node + 1, nodes_.begin() + numberOfNodes_,
            grown.nodes_.begin() + node + 2);

  std::copy(currentSizes_.get(), currentSizes_.get() + node, grown.currentSizes_.get());
  grown.currentSizes_[node] = where == Case::kMiddle ? half : half - 1;
  grown.currentSizes_[node + 1] = size - half;
  std::copy(currentSizes_.get() + node + 1, currentSizes_.get() + numberOfNodes_,
            grown.currentSizes_.get() + node + 2);

  const int32_t upKey = where == Case::kMiddle ? key : keys_[split - 1];
  *this = std::move(grown);
  if (where == Case::kLeft)
    put(key, relPos, node);
  else if (where == Case::kRight)
    put(key, relPos - half, node + 1);
  return upKey;
}

NodeGroupArrayMap NodeGroupArrayMap::splitNodeGroup() {
  const int32_t left = (numberOfNodes_ + 1) / 2;
  const int32_t right = numberOfNodes_ - left;
  const int64_t cut = nodeStart(left);

  NodeGroupArrayMap upper(m_, right);
  NodeGroupArrayMap lower(m_, left);
  std::copy(keys_.get() + cut, keys_.get() + nodeStart(numberOfNodes_), upper.keys_.get());
  std::copy(keys_.get(), keys_.get() + cut, lower.keys_.get());
  std::move(nodes_.begin() + left, nodes_.begin() + numberOfNodes_, upper.nodes_.begin());
  std::move(nodes_.begin(), nodes_.begin() + left, lower.nodes_.begin());
  std::copy(currentSizes_.get() + left, currentSizes_.get() + numberOfNodes_,
            upper.currentSizes_.get());
  std::copy(currentSizes_.get(), currentSizes_.get() + left, lower.currentSizes_.get());
  *this = std::move(lower);
  return upper;
}

int64_t NodeGroupArrayMap::allocatedBytes() const {
  return static_cast<int64_t>(numberOfNodes_) *
         (static_cast<int64_t>(m_) * static_cast<int64_t>(sizeof(int32_t)) +
          static_cast<int64_t>(sizeof(ChildRef)) + static_cast<int64_t>(sizeof(int32_t)));
}

std::string NodeGroupArrayMap::toString() const {
  std::string text;
  for (int32_t node = 0; node < numberOfNodes_; ++node) {
    const CSBTreeNode* child = getChild(node);
    text += child == &NodeGroup::NULL_NODE ? "NULL" : std::to_string(child->identityNumber());
    text += " | ";
    const int32_t size = currentSizes_[node];
    for (int32_t i = 0; i < size; ++i) {
      text += std::to_string(keyAt(node, i));
      text += i + 1 < size ? "." : "/ ";
    }
  }
  return text;
}

CSBTreeNode* NodeGroupArrayMap::getChild(int32_t node) const {
  CSBTreeNode* child = nodes_[node].group.get();
  return child != nullptr ? child : &NodeGroup::NULL_NODE;
}

void NodeGroupArrayMap::setChild(int32_t node, std::unique_ptr<CSBTreeNode> child) {
  nodes_[node].group = std::move(child);
  refreshChildKeys(node);
}

}  // namespace core::csbtree
