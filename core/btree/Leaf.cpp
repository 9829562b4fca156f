#include "core/btree/Leaf.h"

#include <cassert>

#include "core/btree/BTreeConstants.h"
#include "core/btree/NodePool.h"
#include "util/IOError.h"

namespace core::btree {

namespace {

// Asks for the first line of the leaf after `leaf` while `leaf` is scanned, so that a
// range scan does not wait for every leaf of the chain in turn. One line is enough: on
// this hardware, asking for whole leaves measured slower than asking for nothing.
void prefetchNextLeaf(const Leaf* leaf) {
  if (const Leaf* next = leaf->getNextLeaf(); next != nullptr)
    __builtin_prefetch(next);
}

}  // namespace

Leaf::Leaf(int32_t k_star, int32_t* storage) : k_star_(k_star), entries_(2 * k_star, storage) {
  assert(k_star >= BTreeConstants::kMinKStar && k_star <= BTreeConstants::kMaxParameter);
}

bool Leaf::nextInSubtree(int32_t key, int32_t highKey) const {
  // A leaf starting below highKey lies inside the subtree. A key equal to highKey reaches
  // a leaf only when highKey is the tree's open upper end (INT32_MAX; a separator always
  // sends its own key to the right), and then every following leaf belongs to the subtree,
  // including those that start with INT32_MAX itself.
  return nextLeaf_->entries_.firstKeySlot() < highKey || key == highKey;
}

bool Leaf::laterLeafPrecedes(int32_t key, int32_t highKey) const {
  for (const Leaf* leaf = this; leaf->nextLeaf_ != nullptr && leaf->nextInSubtree(key, highKey);
       leaf = leaf->nextLeaf_) {
    const LeafArrayMap& next = leaf->nextLeaf_->entries_;
    if (next.size() != 0)
      return next.keyAt(0) <= key;  // the chain is sorted: the first entry found decides
  }
  return false;
}

std::optional<SplitInfo> Leaf::add(int32_t key, int32_t value, int32_t /*lowKey*/, int32_t highKey,
                                   LeafCarrier* carrier, NodePool& pool) {
  Leaf* target = this;
  // An empty leaf takes the entry (tryAdd stores it) unless chain-only leaves of its
  // subtree that outlived its entries hold a key <= key: the entry must go after those, so
  // it finds its place among them, or goes to the last of them.
  if ((entries_.size() == 0 && laterLeafPrecedes(key, highKey)) || entries_.tryAdd(key, value)) {
    bool stored = false;
    while (!stored && target->nextLeaf_ != nullptr && target->nextInSubtree(key, highKey)) {
      target = target->nextLeaf_;
      stored = target->entries_.size() != 0 && !target->entries_.tryAdd(key, value);
    }
    if (!stored)
      target->entries_.addAtPos(key, value, target->entries_.size());
  }
  if (carrier != nullptr)
    carrier->setLeaf(target);
  if (target->entries_.size() >= 2 * target->k_star_)
    return target->split(pool);
  return std::nullopt;
}

std::optional<SplitInfo> Leaf::split(NodePool& pool) {
  const int32_t pivot = entries_.getMidKey();  // the first key the split moves
  Leaf* right = pool.newLeaf(k_star_);
  entries_.split(right->entries_);
  right->nextLeaf_ = nextLeaf_;
  nextLeaf_ = right;
  // Inside a run of equal keys: a separator would send lookups of that key past the part
  // of the run left here, so the new leaf stays reachable through the chain only.
  if (entries_.keyAt(entries_.size() - 1) == pivot)
    return std::nullopt;
  return SplitInfo(this, pivot, right);
}

void Leaf::get(int32_t key, util::IntPushOperator& op) {
  util::LookupResult code = entries_.get(key, op);
  for (const Leaf* leaf = nextLeaf_; code != util::LookupResult::STOP && leaf != nullptr;
       leaf = leaf->nextLeaf_) {
    code = code == util::LookupResult::CONTINUE_WITH_BINSEARCH
               ? leaf->entries_.get(key, op)
               : leaf->entries_.continueGet(0, key, op);
  }
  op.thatsallfolks();
}

void Leaf::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op, ScanAhead ahead) {
  // A chain walk waits for every leaf in turn unless the next few are on their way: keep
  // kDepth hinted leaves in flight, whole blocks, one more for every leaf scanned.
  constexpr int32_t kDepth = 3;
  // Asks for the next hinted leaf; false once the hint is used up.
  auto askAhead = [&ahead, this] {
    if (ahead.next > ahead.last)
      return false;
    NodePool::prefetchLeaf(static_cast<const Leaf*>(ahead.siblings->nodeAt(ahead.next++)), k_star_);
    return true;
  };
  for (int32_t i = 0; i < kDepth && askAhead(); ++i) {
  }
  util::LookupResult code = entries_.queryRange(lowKey, highKey, op);
  for (const Leaf* leaf = nextLeaf_; code != util::LookupResult::STOP && leaf != nullptr;
       leaf = leaf->nextLeaf_) {
    if (!askAhead())
      prefetchNextLeaf(leaf);
    code = code == util::LookupResult::CONTINUE_WITH_BINSEARCH
               ? leaf->entries_.queryRange(lowKey, highKey, op)
               : leaf->entries_.continueScan(0, highKey, op);
  }
  op.thatsallfolks();
}

void Leaf::remove(int32_t key, int32_t value, int32_t /*lowKey*/, int32_t highKey) {
  bool mayContinue = entries_.remove(key, value);
  Leaf* current = this;
  while (mayContinue && current->nextLeaf_ != nullptr && current->nextInSubtree(key, highKey)) {
    Leaf* next = current->nextLeaf_;
    mayContinue = next->entries_.remove(key, value);
    if (next->isEmpty())
      current->nextLeaf_ = next->nextLeaf_;  // a chain-only leaf that emptied leaves the chain
    else
      current = next;
  }
}

void Leaf::removeValue(int32_t value) {
  for (Leaf* leaf = this; leaf != nullptr; leaf = leaf->nextLeaf_) {
    LeafArrayMap& entries = leaf->entries_;
    bool deleted = false;
    // The entry that moves into a deleted position is looked at in turn.
    for (int32_t pos = 0; pos < entries.size();) {
      if (entries.valueAt(pos) == value) {
        entries.deleteAtPos(pos);
        deleted = true;
      } else {
        ++pos;
      }
    }
    if (deleted)
      return;
  }
}

void Leaf::toDot(util::OutputStream& out) {
  const std::string name = "nodeX" + std::to_string(identityNumber());
  try {
    std::string line = name + " [shape=record,label=\"{{";
    const int32_t n = entries_.size();
    for (int32_t i = 0; i < n; ++i) {
      line += '{';
      line += std::to_string(entries_.keyAt(i));
      line += " |";
      line += std::to_string(entries_.valueAt(i));
      line += '}';
      if (i + 1 < n)
        line += '|';
    }
    line += "}}\"];\n";
    out.write(line);
    if (nextLeaf_ != nullptr) {
      out.write("\"" + name + "\":" + std::to_string(n) + " -> \"nodeX" +
                std::to_string(nextLeaf_->identityNumber()) + "\":0;\n");
    }
  } catch (const util::IOError& error) {
    reportDotFailure(error, "leaf " + name);
  }
}

std::string Leaf::toString() const {
  return "[" + entries_.toString() + "]";
}

}  // namespace core::btree
