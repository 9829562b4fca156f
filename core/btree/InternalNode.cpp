#include "core/btree/InternalNode.h"

#include <stdexcept>

#include "util/IOError.h"

namespace core::btree {

const InternalNode InternalNode::NULL_NODE{nullptr, NodePool::kSentinel, 1};

int32_t* InternalNode::sentinelBlock() {
  // Never written after this: NULL_NODE has no room for keys, and nothing sets its first
  // child.
  static int32_t* const block = [] {
    static int32_t ints[InternalBlock::ints(0)];
    InternalNodeArrayMap::initialize(ints, 0);
    return ints;
  }();
  return block;
}

std::optional<SplitInfo> InternalNode::add(int32_t key, int32_t value, int32_t lowKey,
                                           int32_t highKey, LeafCarrier* carrier) const {
  if (!hasKeys())
    throw std::logic_error("add on an internal node without keys");
  const Route next = route(key, lowKey, highKey);
  const std::optional<SplitInfo> childSplit =
      next.child.add(key, value, next.lowKey, next.highKey, carrier);
  if (!childSplit)
    return std::nullopt;
  return absorb(*childSplit);
}

void InternalNode::get(int32_t key, util::IntPushOperator& op) const {
  if (!hasKeys()) {
    op.thatsallfolks();
    return;
  }
  child(getEntries().childFor(key)).get(key, op);
}

bool InternalNode::isEmpty() const {
  const InternalNodeArrayMap entries = getEntries();
  if (entries.size() > 0)
    return false;
  const NodeHandle first = entries.nodeAt(0);
  return first == NodePool::kNoNode || first == NodePool::kSentinel;
}

void InternalNode::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const {
  if (!hasKeys()) {
    op.thatsallfolks();
    return;
  }
  child(getEntries().childFor(lowKey)).queryRange(lowKey, highKey, op);
}

void InternalNode::remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) const {
  if (!hasKeys())
    return;
  const Route next = route(key, lowKey, highKey);
  next.child.remove(key, value, next.lowKey, next.highKey);
}

std::optional<SplitInfo> InternalNode::absorb(const SplitInfo& childSplit) const {
  return absorb(childSplit, util::SplitRule());
}

std::optional<SplitInfo> InternalNode::absorb(const SplitInfo& childSplit,
                                              const util::SplitRule& rule) const {
  InternalNodeArrayMap entries = getEntries();
  const int32_t pivot = childSplit.pivot;
  const int32_t pos = entries.getIntervalPosition(pivot);
  const bool present = pos > 0 && entries.keyAt(pos - 1) == pivot;
  // A present key only replaces the child right of it; a new one fits unless the node is
  // full, and then the node would reach 2 x k keys and split, so it splits now.
  if (present || entries.size() < entries.capacity()) {
    entries.put(pivot, childSplit.rightNode.handle());
    return std::nullopt;
  }
  const InternalNode right = pool_->newInternalNode(level_);
  InternalNodeArrayMap rightEntries = right.getEntries();
  const int32_t middle = entries.putAndSplit(pivot, childSplit.rightNode.handle(), rightEntries,
                                             rule.lowerKeys(entries.size(), pos));
  return SplitInfo(*this, middle, right);
}

std::optional<SplitInfo> InternalNode::split() const {
  InternalNodeArrayMap entries = getEntries();
  if (pool_ == nullptr || entries.size() < 3)
    return std::nullopt;
  const int32_t middle = entries.getMidKey();
  const InternalNode right = pool_->newInternalNode(level_);
  InternalNodeArrayMap rightEntries = right.getEntries();
  entries.split(rightEntries);
  return SplitInfo(*this, middle, right);
}

void InternalNode::toDot(util::OutputStream& out) const {
  const std::string name = "nodeX" + std::to_string(identityNumber());
  try {
    const InternalNodeArrayMap entries = getEntries();
    const int32_t n = entries.size();
    std::string line = name + " [shape=record,label=\"{{";
    for (int32_t i = 0; i < n; ++i) {
      const std::string pos = std::to_string(i);
      line += '<' + pos + "> |<key" + pos + '>' + std::to_string(entries.keyAt(i)) + '|';
    }
    line += '<' + std::to_string(n) + ">}}\"];\n";
    out.write(line);
    for (int32_t pos = 0; pos <= n; ++pos) {
      const NodeHandle handle = entries.nodeAt(pos);
      // An unset slot is no node of the graph.
      if (handle == NodePool::kNoNode || handle == NodePool::kSentinel)
        continue;
      const BTreeNode next = child(handle);
      out.write("\"" + name + "\":" + std::to_string(pos) + " -> \"nodeX" +
                std::to_string(next.identityNumber()) + "\";\n");
      if (!next.isLeaf())
        next.toDot(out);
    }
  } catch (const util::IOError& error) {
    BTreeNode::reportDotFailure(error, "internal node " + name);
  }
}

std::string InternalNode::toString() const {
  return "[" + getEntries().toString() + "]";
}

}  // namespace core::btree
