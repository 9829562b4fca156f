#include "core/csbtree/NodeGroup.h"

#include <cassert>
#include <utility>

namespace core::csbtree {

NodeGroup NodeGroup::NULL_NODE;

NodeGroup::NodeGroup() : entries_(0, 0), k_(0) {}

NodeGroup::NodeGroup(std::unique_ptr<CSBTreeNode> child, int32_t key, int32_t k)
    : entries_(4 * k), k_(k) {
  entries_.setChild(0, std::move(child));
  entries_.put(key, 0, 0);
}

NodeGroup::NodeGroup(int32_t k, NodeGroupArrayMap entries) : entries_(std::move(entries)), k_(k) {}

std::optional<SplitInfo> NodeGroup::add(int32_t index, int32_t key, int32_t value, bool parentFull,
                                        int32_t lowKey, int32_t highKey, LeafCarrier* carrier) {
  const int32_t child = entries_.lastChildFor(key, index);
  const int32_t size = entries_.keyCount(index);
  const int32_t lower = child > 0 ? entries_.keyAt(index, child - 1) : lowKey;
  const int32_t upper = child < size ? entries_.keyAt(index, child) : highKey;
  const bool full = entries_.isNodeFull(index);
  entries_.prefetchChildKeys(index, child);
  std::optional<SplitInfo> grown =
      entries_.childGroup(index)->add(child, key, value, full, lower, upper, carrier);
  if (!grown)
    return std::nullopt;
  entries_.refreshChildKeys(index);  // a child that reports a split has new arrays
  if (grown->rightNode == nullptr) {
    // The child group has one member more, right after `child`: its pivot separates the two.
    assert(!full);
    entries_.put(grown->pivot, child, index);
    return std::nullopt;
  }
  assert(full);
  return split(grown->pivot, std::move(grown->rightNode), parentFull, index);
}

SplitInfo NodeGroup::split(int32_t key, std::unique_ptr<CSBTreeNode> newChild, bool parentFull,
                           int32_t index) {
  // Where `key` goes among separators equal to it does not matter: the keys come out the same.
  assert(entries_.keyCount(index) > 0);
  const int64_t pos = entries_.getIntervalPosition(key, index);
  const int32_t upKey = entries_.splitNode(key, pos, index, std::move(newChild));
  if (!parentFull)
    return SplitInfo(this, upKey, nullptr);
  return SplitInfo(this, upKey, std::make_unique<NodeGroup>(k_, entries_.splitNodeGroup()));
}

void NodeGroup::get(int32_t index, int32_t key, util::IntPushOperator& op) {
  const int32_t child = entries_.firstChildFor(key, index);
  entries_.prefetchChildKeys(index, child);
  entries_.childGroup(index)->get(child, key, op);
}

void NodeGroup::queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                           util::IntPushOperator& op) {
  const int32_t child = entries_.firstChildFor(lowKey, index);
  entries_.prefetchChildKeys(index, child);
  entries_.childGroup(index)->queryRange(child, lowKey, highKey, op);
}

void NodeGroup::remove(int32_t index, int32_t key, int32_t value, int32_t lowKey, int32_t highKey) {
  const int32_t child = entries_.firstChildFor(key, index);
  const int32_t size = entries_.keyCount(index);
  const int32_t lower = child > 0 ? entries_.keyAt(index, child - 1) : lowKey;
  const int32_t upper = child < size ? entries_.keyAt(index, child) : highKey;
  entries_.prefetchChildKeys(index, child);
  entries_.childGroup(index)->remove(child, key, value, lower, upper);
}

// Graph records, one line each, written with one write:
//   groupX<id> [shape=record,label="{{K|K|...}|<n0> }|{{K|...}|<n1> }|..."];
// one field per node: its keys in a row above an empty cell, the port n<i>, from which the
// edge to the node's child group leaves (a node without keys is just "{<n<i>> }"). Then, per
// node in order, the edge
//   "groupX<id>":n<i> -> "groupX<child id>";
// followed at once by the child's own records when the child is a node group. A node whose
// child is the sentinel has no edge.
void NodeGroup::toDot(util::OutputStream& out) {
  const std::string name = "groupX" + std::to_string(identityNumber());
  std::string line = name + " [shape=record,label=\"";
  for (int32_t node = 0; node < entries_.getNumberOfNodes(); ++node) {
    if (node > 0)
      line += '|';
    line += '{';
    const int32_t size = entries_.keyCount(node);
    if (size > 0) {
      line += '{';
      for (int32_t i = 0; i < size; ++i) {
        if (i > 0)
          line += '|';
        line += std::to_string(entries_.keyAt(node, i));
      }
      line += "}|";
    }
    line += "<n" + std::to_string(node) + "> }";
  }
  line += "\"];\n";
  out.write(line);

  for (int32_t node = 0; node < entries_.getNumberOfNodes(); ++node) {
    CSBTreeNode* child = entries_.childGroup(node);
    if (child == nullptr)
      continue;
    out.write("\"" + name + "\":n" + std::to_string(node) + " -> \"groupX" +
              std::to_string(child->identityNumber()) + "\";\n");
    if (!child->isLeaf())
      child->toDot(out);
  }
}

int64_t NodeGroup::allocatedBytes() const {
  int64_t bytes = static_cast<int64_t>(sizeof(NodeGroup)) + entries_.allocatedBytes();
  for (int32_t node = 0; node < entries_.getNumberOfNodes(); ++node) {
    if (const CSBTreeNode* child = entries_.childGroup(node); child != nullptr)
      bytes += child->allocatedBytes();
  }
  return bytes;
}

std::string NodeGroup::toString() const {
  return "[" + entries_.toString() + "]";
}

}  // namespace core::csbtree
