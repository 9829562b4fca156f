#include "core/csbtree/NodeGroupArrayMap.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "core/csbtree/NodeGroup.h"

namespace core::csbtree {

NodeGroupArrayMap::NodeGroupArrayMap(int32_t m) : NodeGroupArrayMap(m, 1) {}

NodeGroupArrayMap::NodeGroupArrayMap(int32_t m, int32_t numberOfNodes)
    : m(m),
      numberOfNodes(numberOfNodes),
      keys(std::make_unique_for_overwrite<int32_t[]>(static_cast<size_t>(m) * numberOfNodes)),
      nodes(static_cast<size_t>(numberOfNodes)),
      currentSizes(std::make_unique<int32_t[]>(static_cast<size_t>(numberOfNodes))) {
  assert(m >= 0 && numberOfNodes >= 0);
  std::fill_n(keys.get(), static_cast<size_t>(m) * numberOfNodes, UNUSED_KEY);
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
  assert(node >= 0 && node < numberOfNodes && currentSizes[node] < m);
  int32_t* first = keys.get() + nodeStart(node);
  const int32_t size = currentSizes[node];
  if (pos < size) {
    std::copy_backward(first + pos, first + size, first + size + 1);
  } else {
    pos = size;
  }
  first[pos] = key;
  ++currentSizes[node];
}

int32_t NodeGroupArrayMap::splitNode(int32_t key, int64_t pos, int32_t node,
                                     std::unique_ptr<CSBTreeNode> newChild) {
  assert(node >= 0 && node < numberOfNodes);
  const int32_t relPos = static_cast<int32_t>(pos - nodeStart(node));
  const int32_t size = currentSizes[node];
  assert(relPos >= 0 && relPos <= size);
  // Of the size + 1 keys (the node's and the new one), the one at index `half` moves up.
  int32_t half = (size + 1) >> 1;
  enum class Case { kLeft, kMiddle, kRight };
  const Case where = relPos < half ? Case::kLeft : relPos == half ? Case::kMiddle : Case::kRight;
  if (where == Case::kRight)
    ++half;
  const int64_t split = nodeStart(node) + half;
  const int64_t slotEnd = nodeStart(numberOfNodes);

  NodeGroupArrayMap grown(m, numberOfNodes + 1);
  const int64_t leftEnd = where == Case::kMiddle ? split : split - 1;
  std::copy(keys.get(), keys.get() + leftEnd, grown.keys.get());
  std::copy(keys.get() + split, keys.get() + nodeStart(node) + size,
            grown.keys.get() + nodeStart(node + 1));
  std::copy(keys.get() + nodeStart(node + 1), keys.get() + slotEnd,
            grown.keys.get() + nodeStart(node + 2));

  std::move(nodes.begin(), nodes.begin() + node + 1, grown.nodes.begin());
  grown.nodes[node + 1] = std::move(newChild);
  std::move(nodes.begin() + node + 1, nodes.begin() + numberOfNodes,
            grown.nodes.begin() + node + 2);

  std::copy(currentSizes.get(), currentSizes.get() + node, grown.currentSizes.get());
  grown.currentSizes[node] = where == Case::kMiddle ? half : half - 1;
  grown.currentSizes[node + 1] = size - half;
  std::copy(currentSizes.get() + node + 1, currentSizes.get() + numberOfNodes,
            grown.currentSizes.get() + node + 2);

  const int32_t upKey = where == Case::kMiddle ? key : keys[split - 1];
  *this = std::move(grown);
  if (where == Case::kLeft)
    put(key, relPos, node);
  else if (where == Case::kRight)
    put(key, relPos - half, node + 1);
  return upKey;
}

NodeGroupArrayMap NodeGroupArrayMap::splitNodeGroup() {
  const int32_t left = (numberOfNodes + 1) / 2;
  const int32_t right = numberOfNodes - left;
  const int64_t cut = nodeStart(left);

  NodeGroupArrayMap upper(m, right);
  NodeGroupArrayMap lower(m, left);
  std::copy(keys.get() + cut, keys.get() + nodeStart(numberOfNodes), upper.keys.get());
  std::copy(keys.get(), keys.get() + cut, lower.keys.get());
  std::move(nodes.begin() + left, nodes.begin() + numberOfNodes, upper.nodes.begin());
  std::move(nodes.begin(), nodes.begin() + left, lower.nodes.begin());
  std::copy(currentSizes.get() + left, currentSizes.get() + numberOfNodes,
            upper.currentSizes.get());
  std::copy(currentSizes.get(), currentSizes.get() + left, lower.currentSizes.get());
  *this = std::move(lower);
  return upper;
}

int64_t NodeGroupArrayMap::allocatedBytes() const {
  return static_cast<int64_t>(numberOfNodes) *
         (static_cast<int64_t>(m) * static_cast<int64_t>(sizeof(int32_t)) +
          static_cast<int64_t>(sizeof(std::unique_ptr<CSBTreeNode>)) +
          static_cast<int64_t>(sizeof(int32_t)));
}

std::string NodeGroupArrayMap::toString() const {
  std::string text;
  for (int32_t node = 0; node < numberOfNodes; ++node) {
    const CSBTreeNode* child = getChild(node);
    text += child == &NodeGroup::NULL_NODE ? "NULL" : std::to_string(child->identityNumber());
    text += " | ";
    const int32_t size = currentSizes[node];
    for (int32_t i = 0; i < size; ++i) {
      text += std::to_string(keyAt(node, i));
      text += i + 1 < size ? "." : "/ ";
    }
  }
  return text;
}

CSBTreeNode* NodeGroupArrayMap::getChild(int32_t node) const {
  CSBTreeNode* child = nodes[node].get();
  return child != nullptr ? child : &NodeGroup::NULL_NODE;
}

void NodeGroupArrayMap::setChild(int32_t node, std::unique_ptr<CSBTreeNode> child) {
  nodes[node] = std::move(child);
}

}  // namespace core::csbtree
