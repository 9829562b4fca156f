#include "core/csbtree/NodeGroupArrayMap.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "util/KeySearch.h"

namespace core::csbtree {

NodeGroupArrayMap::NodeGroupArrayMap(GroupStore& store, int32_t numberOfNodes, int32_t level)
    : store_(&store), handle_(store.allocateNodeGroup(numberOfNodes)) {
  assert(numberOfNodes >= 0 && level >= 1);
  *header() = GroupHeader{0, level, numberOfNodes, 0, 0};
  for (int32_t node = 0; node < numberOfNodes; ++node) {
    std::fill_n(keys(node), store.m(), kUnusedKey);
    *meta(node) = NodeSlotMeta{0, 0};
  }
}

void NodeGroupArrayMap::release() {
  store_->arena().free(handle_, store_->nodeGroupLines(getNumberOfNodes()));
  handle_ = 0;
}

int64_t NodeGroupArrayMap::binarySearch(const int32_t* a, int32_t key, int64_t low, int64_t high) {
  return util::firstHitSearch(a, key, low, high);
}

void NodeGroupArrayMap::put(int32_t key, int32_t pos, int32_t node) {
  assert(node >= 0 && node < getNumberOfNodes() && !isNodeFull(node));
  int32_t* first = keys(node);
  const int32_t size = keyCount(node);
  if (pos < size)
    std::copy_backward(first + pos, first + size, first + size + 1);
  else
    pos = size;
  first[pos] = key;
  ++meta(node)->size;
}

void NodeGroupArrayMap::copyNodes(const NodeGroupArrayMap& from, int32_t fromNode, int32_t count,
                                  int32_t toNode) {
  if (count > 0) {
    std::memcpy(keys(toNode), from.keys(fromNode),
                static_cast<size_t>(count) * store_->nodeSlotBytes());
  }
}

int32_t NodeGroupArrayMap::splitNode(int32_t key, int64_t pos, int32_t node, CSBTreeNode newChild) {
  return splitNode(key, pos, node, newChild, (keyCount(node) + 1) >> 1);
}

int32_t NodeGroupArrayMap::splitNode(int32_t key, int64_t pos, int32_t node, CSBTreeNode newChild,
                                     int32_t lowerKeys) {
  const int32_t nodes = getNumberOfNodes();
  assert(node >= 0 && node < nodes);
  const int32_t size = keyCount(node);
  assert(pos - nodeStart(node) >= 0 && pos - nodeStart(node) <= size);
  const auto relPos = static_cast<int32_t>(std::clamp<int64_t>(pos - nodeStart(node), 0, size));
  // Of the size + 1 keys (the node's, `key` at relPos among them), the lower `lower` stay, the
  // next one moves up and the rest go to the new node.
  const int32_t lower = std::clamp(lowerKeys, 0, size);
  const int32_t upper = size - lower;
  const int32_t* old = keys(node);
  auto sequence = [&](int32_t i) { return i < relPos ? old[i] : i == relPos ? key : old[i - 1]; };

  NodeGroupArrayMap grown(*store_, nodes + 1, level());
  *grown.header() = *header();
  grown.header()->members = nodes + 1;
  grown.copyNodes(*this, 0, node + 1, 0);
  grown.copyNodes(*this, node + 1, nodes - node - 1, node + 2);
  // Node `node` keeps its child and the keys before the one that moves up, node + 1 takes the
  // rest.
  int32_t* left = grown.keys(node);
  for (int32_t i = 0; i < lower; ++i)
    left[i] = sequence(i);
  std::fill(left + lower, left + store_->m(), kUnusedKey);
  grown.meta(node)->size = lower;
  int32_t* right = grown.keys(node + 1);
  for (int32_t i = 0; i < upper; ++i)
    right[i] = sequence(lower + 1 + i);
  std::fill(right + upper, right + store_->m(), kUnusedKey);
  *grown.meta(node + 1) = NodeSlotMeta{upper, newChild.handle()};

  const int32_t upKey = sequence(lower);
  release();
  handle_ = grown.handle_;
  return upKey;
}

NodeGroupArrayMap NodeGroupArrayMap::splitNodeGroup() {
  return splitNodeGroup((getNumberOfNodes() + 1) / 2);
}

NodeGroupArrayMap NodeGroupArrayMap::splitNodeGroup(int32_t lowerNodes) {
  const int32_t nodes = getNumberOfNodes();
  const int32_t left = std::clamp(lowerNodes, 0, nodes);
  const int32_t right = nodes - left;

  NodeGroupArrayMap upper(*store_, right, level());
  NodeGroupArrayMap lower(*store_, left, level());
  *lower.header() = *header();
  lower.header()->members = left;
  upper.copyNodes(*this, left, right, 0);
  lower.copyNodes(*this, 0, left, 0);
  release();
  handle_ = lower.handle_;
  return upper;
}

std::string NodeGroupArrayMap::toString() const {
  std::string text;
  for (int32_t node = 0; node < getNumberOfNodes(); ++node) {
    const CSBTreeNode child = getChild(node);
    text += child.isNull() ? "NULL" : std::to_string(child.identityNumber());
    text += " | ";
    const int32_t size = keyCount(node);
    for (int32_t i = 0; i < size; ++i) {
      text += std::to_string(keyAt(node, i));
      text += i + 1 < size ? "." : "/ ";
    }
  }
  return text;
}

}  // namespace core::csbtree
