#include "core/btree/InternalNode.h"

#include <cassert>
#include <stdexcept>

#include "core/btree/BTreeConstants.h"
#include "core/btree/NodePool.h"
#include "util/IOError.h"

namespace core::btree {

InternalNode InternalNode::NULL_NODE{InternalNode::SentinelTag{}};

InternalNode::InternalNode(SentinelTag) : k_(0), entries_(0) {}

InternalNode::InternalNode(int32_t k, InternalNodeArrayMap::Storage storage)
    : k_(k), entries_(2 * k, storage) {
  assert(k >= BTreeConstants::kMinK && k <= BTreeConstants::kMaxParameter);
}

InternalNode::InternalNode(BTreeNode* left, int32_t key, BTreeNode* right, int32_t k,
                           InternalNodeArrayMap::Storage storage)
    : InternalNode(k, storage) {
  entries_.setFirstChild(left);
  entries_.put(key, right);
}

std::optional<SplitInfo> InternalNode::add(int32_t key, int32_t value, int32_t lowKey,
                                           int32_t highKey, LeafCarrier* carrier, NodePool& pool) {
  if (entries_.size() == 0)
    throw std::logic_error("add on an internal node without keys");
  const Route next = route(key, lowKey, highKey);
  const std::optional<SplitInfo> childSplit =
      next.child->add(key, value, next.lowKey, next.highKey, carrier, pool);
  if (!childSplit)
    return std::nullopt;
  return absorb(*childSplit, pool);
}

void InternalNode::get(int32_t key, util::IntPushOperator& op) {
  BTreeNode* child = entries_.get(key);
  if (child == nullptr) {
    op.thatsallfolks();
    return;
  }
  child->get(key, op);
}

bool InternalNode::isEmpty() const {
  const BTreeNode* first = entries_.nodeAt(0);
  return entries_.size() == 0 && (first == nullptr || first == &NULL_NODE);
}

void InternalNode::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  BTreeNode* child = entries_.get(lowKey);
  if (child == nullptr) {
    op.thatsallfolks();
    return;
  }
  child->queryRange(lowKey, highKey, op);
}

void InternalNode::remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) {
  if (entries_.size() == 0)
    return;
  const Route next = route(key, lowKey, highKey);
  next.child->remove(key, value, next.lowKey, next.highKey);
}

std::optional<SplitInfo> InternalNode::absorb(const SplitInfo& childSplit, NodePool& pool) {
  entries_.put(childSplit.pivot, childSplit.rightNode);
  if (entries_.size() < 2 * k_)
    return std::nullopt;
  return split(pool);
}

SplitInfo InternalNode::split(NodePool& pool) {
  const int32_t middle = entries_.getMidKey();
  InternalNode* right = pool.newInternalNode(k_);
  entries_.split(right->entries_);
  return SplitInfo(this, middle, right);
}

void InternalNode::toDot(util::OutputStream& out) {
  const std::string name = "nodeX" + std::to_string(identityNumber());
  try {
    const int32_t n = entries_.size();
    std::string line = name + " [shape=record,label=\"{{";
    for (int32_t i = 0; i < n; ++i) {
      const std::string pos = std::to_string(i);
      line += '<' + pos + "> |<key" + pos + '>' + std::to_string(entries_.keyAt(i)) + '|';
    }
    line += '<' + std::to_string(n) + ">}}\"];\n";
    out.write(line);
    for (int32_t pos = 0; pos <= n; ++pos) {
      BTreeNode* child = entries_.nodeAt(pos);
      // An unset slot is no node of the graph (and the sentinel would lead back to itself).
      if (child == nullptr || child == &NULL_NODE)
        continue;
      out.write("\"" + name + "\":" + std::to_string(pos) + " -> \"nodeX" +
                std::to_string(child->identityNumber()) + "\";\n");
      if (!child->isLeaf())
        child->toDot(out);
    }
  } catch (const util::IOError& error) {
    reportDotFailure(error, "internal node " + name);
  }
}

std::string InternalNode::toString() const {
  return "[" + entries_.toString() + "]";
}

}  // namespace core::btree
