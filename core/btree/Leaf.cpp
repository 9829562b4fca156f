#include "core/btree/Leaf.h"

#include "core/btree/BTreeConstants.h"
#include "core/btree/BlockSearch.h"
#include "core/btree/LeafCarrier.h"
#include "util/IOError.h"

namespace core::btree {

bool Leaf::nextInSubtree(int32_t key, int32_t highKey) const {
  // A leaf starting below highKey lies inside the subtree. A key equal to highKey reaches
  // a leaf only when highKey is the tree's open upper end (INT32_MAX; a separator always
  // sends its own key to the right), and then every following leaf belongs to the subtree,
  // including those that start with INT32_MAX itself.
  return getNextLeaf().getEntries().firstKeySlot() < highKey || key == highKey;
}

bool Leaf::laterLeafPrecedes(int32_t key, int32_t highKey) const {
  for (Leaf leaf = *this; leaf.getNextLeaf() && leaf.nextInSubtree(key, highKey);
       leaf = leaf.getNextLeaf()) {
    const LeafArrayMap next = leaf.getNextLeaf().getEntries();
    if (next.size() != 0)
      return next.keyAt(0) <= key;  // the chain is sorted: the first entry found decides
  }
  return false;
}

std::optional<SplitInfo> Leaf::add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                                   LeafCarrier* carrier) const {
  util::SplitRule positional;
  return add(key, value, lowKey, highKey, carrier, positional);
}

std::optional<SplitInfo> Leaf::add(int32_t key, int32_t value, int32_t /*lowKey*/, int32_t highKey,
                                   LeafCarrier* carrier, util::SplitRule& rule) const {
  Leaf target = *this;
  // The entry goes after every key <= key here. An empty leaf takes it unless chain-only
  // leaves of its subtree that outlived its entries hold a key <= key: it must go after
  // those. When its place is the end of this leaf, it finds its place in the following
  // leaves of the subtree, or goes to the end of the last of them.
  const int32_t size = getEntries().size();
  int32_t pos = size == 0 ? 0 : getEntries().placeFor(key);
  if (size == 0 ? laterLeafPrecedes(key, highKey) : pos == size) {
    for (;;) {
      if (!target.getNextLeaf() || !target.nextInSubtree(key, highKey)) {
        pos = target.getEntries().size();
        break;
      }
      target = target.getNextLeaf();
      const LeafArrayMap entries = target.getEntries();
      if (entries.size() != 0 && (pos = entries.placeFor(key)) < entries.size())
        break;
    }
  }
  if (carrier != nullptr)
    carrier->setLeaf(target);
  return target.insert(key, value, pos, rule);
}

std::optional<SplitInfo> Leaf::insert(int32_t key, int32_t value, int32_t pos,
                                      util::SplitRule& rule) const {
  LeafArrayMap entries = getEntries();
  const int32_t n = entries.size();
  if (n < entries.capacity()) {
    entries.addAtPos(key, value, pos);
    return std::nullopt;
  }
  // Full: with the entry it would hold 2 x k_star and split, so it splits now, in the middle
  // or, where the insertions run in order, at the entry.
  const util::RunDirection direction =
      rule.directionOf(key, pos > 0 ? std::optional(entries.keyAt(pos - 1)) : std::nullopt,
                       pos < n ? std::optional(entries.keyAt(pos)) : std::nullopt);
  rule.setSequentialSplit(direction != util::RunDirection::kNone);
  const Leaf right = pool_->newLeaf();
  LeafArrayMap rightEntries = right.getEntries();
  entries.insertAndSplit(key, value, pos, rightEntries,
                         util::SplitRule::lowerEntries(n + 1, pos, direction));
  return linkSplit(right);
}

std::optional<SplitInfo> Leaf::split() const {
  LeafArrayMap entries = getEntries();
  if (entries.size() < 2)
    return std::nullopt;  // one side would have no entries
  const Leaf right = pool_->newLeaf();
  LeafArrayMap rightEntries = right.getEntries();
  entries.split(rightEntries);
  return linkSplit(right);
}

std::optional<SplitInfo> Leaf::linkSplit(const Leaf& right) const {
  right.setNext(nextHandle());
  setNext(right.handle_);
  const LeafArrayMap entries = getEntries();
  const int32_t pivot = right.getEntries().keyAt(0);
  // Inside a run of equal keys: a separator would send lookups of that key past the part
  // of the run left here, so the new leaf stays reachable through the chain only.
  if (entries.keyAt(entries.size() - 1) == pivot)
    return std::nullopt;
  return SplitInfo(*this, pivot, right);
}

void Leaf::get(int32_t key, util::IntPushOperator& op) const {
  const LeafBlock block = layout();
  const int32_t count = block.count();
  // What LeafArrayMap::get answers, without its calls: an empty leaf and a key past every
  // entry send the lookup on with a search, a run that reaches the end with a scan.
  util::LookupResult code = util::LookupResult::CONTINUE_WITH_BINSEARCH;
  if (count != 0) {
    int32_t pos = lowerBound(block, key);
    if (pos < count) {
      const int32_t* keys = block.keys();
      const int32_t* values = block.values();
      for (; pos < count && keys[pos] == key; ++pos)
        op.pass(values[pos]);
      if (pos < count) {
        op.thatsallfolks();
        return;
      }
      code = util::LookupResult::CONTINUE_WITH_SCAN;
    }
  }
  getAlongChain(code, key, op);
}

void Leaf::getAlongChain(util::LookupResult code, int32_t key, util::IntPushOperator& op) const {
  for (Leaf leaf = getNextLeaf(); code != util::LookupResult::STOP && leaf;
       leaf = leaf.getNextLeaf()) {
    code = code == util::LookupResult::CONTINUE_WITH_BINSEARCH
               ? leaf.getEntries().get(key, op)
               : leaf.getEntries().continueGet(0, key, op);
  }
  op.thatsallfolks();
}

void Leaf::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op,
                      ScanAhead ahead) const {
  // A chain walk waits for every leaf in turn unless the next few are on their way: keep
  // kDepth hinted leaves in flight, whole leaves, one more for every leaf scanned, as long as
  // the parent's separators say they start inside the range.
  constexpr int32_t kDepth = 3;
  // Asks for the next hinted leaf; false once the hint is used up.
  auto askAhead = [&ahead, highKey, this] {
    if (ahead.next > ahead.last || ahead.separators[ahead.next - 1] > highKey)
      return false;
    pool_->prefetchLeaf(ahead.children[ahead.next++]);
    return true;
  };
  for (int32_t i = 0; i < kDepth && askAhead(); ++i) {
  }
  // LeafArrayMap::queryRange in a leaf the walk searches (the first, and any after one where
  // nothing was at or above lowKey), LeafArrayMap::continueScan from the first entry in a
  // leaf a run of the range goes on into: what their answers mean, without their calls.
  bool search = true;
  for (Leaf leaf = *this;;) {
    const LeafBlock block = leaf.layout();
    const int32_t count = block.count();
    int32_t pos = 0;
    if (search && count != 0)
      pos = lowerBound(block, lowKey);
    if (pos < count) {
      const int32_t* keys = block.keys();
      if (keys[pos] > highKey)
        break;
      const int32_t* values = block.values();
      for (; pos < count && keys[pos] <= highKey; ++pos)
        op.pass(values[pos]);
      if (pos < count)
        break;
      search = false;
    } else {
      search = true;  // nothing here at or above lowKey (or no entry at all)
    }
    const NodeHandle next = block.next();
    if (next == NodePool::kNoNode)
      break;
    leaf = Leaf(pool_, next);
    // Without a hint, the first line of the leaf after the next one: one line is enough, as
    // asking for whole leaves of an unknown chain measured slower than asking for nothing.
    if (!askAhead()) {
      if (const NodeHandle after = leaf.nextHandle(); after != NodePool::kNoNode)
        __builtin_prefetch(pool_->leafBlock(after).data());
    }
  }
  op.thatsallfolks();
}

void Leaf::remove(int32_t key, int32_t value, int32_t /*lowKey*/, int32_t highKey) const {
  bool mayContinue = getEntries().remove(key, value);
  Leaf current = *this;
  while (mayContinue && current.getNextLeaf() && current.nextInSubtree(key, highKey)) {
    const Leaf next = current.getNextLeaf();
    mayContinue = next.getEntries().remove(key, value);
    if (next.isEmpty())
      current.setNext(next.nextHandle());  // a chain-only leaf that emptied leaves the chain
    else
      current = next;
  }
}

void Leaf::removeValue(int32_t value) const {
  for (Leaf leaf = *this; leaf; leaf = leaf.getNextLeaf()) {
    LeafArrayMap entries = leaf.getEntries();
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

void Leaf::toDot(util::OutputStream& out) const {
  const std::string name = "nodeX" + std::to_string(identityNumber());
  try {
    const LeafArrayMap entries = getEntries();
    std::string line = name + " [shape=record,label=\"{{";
    const int32_t n = entries.size();
    for (int32_t i = 0; i < n; ++i) {
      line += '{';
      line += std::to_string(entries.keyAt(i));
      line += " |";
      line += std::to_string(entries.valueAt(i));
      line += '}';
      if (i + 1 < n)
        line += '|';
    }
    line += "}}\"];\n";
    out.write(line);
    if (const Leaf next = getNextLeaf()) {
      out.write("\"" + name + "\":" + std::to_string(n) + " -> \"nodeX" +
                std::to_string(next.identityNumber()) + "\":0;\n");
    }
  } catch (const util::IOError& error) {
    BTreeNode::reportDotFailure(error, "leaf " + name);
  }
}

std::string Leaf::toString() const {
  return "[" + getEntries().toString() + "]";
}

}  // namespace core::btree
