#include "core/csbtree/LeafGroup.h"

#include <algorithm>
#include <cassert>

#include "core/csbtree/Lookup.h"

namespace core::csbtree {

std::optional<SplitInfo> LeafGroup::add(int32_t index, int32_t key, int32_t value, bool parentFull,
                                        int32_t lowKey, int32_t highKey, LeafCarrier* carrier) {
  util::SplitRule positional;
  return add(index, key, value, parentFull, lowKey, highKey, carrier, positional);
}

std::optional<SplitInfo> LeafGroup::add(int32_t index, int32_t key, int32_t value, bool parentFull,
                                        int32_t /*lowKey*/, int32_t /*highKey*/,
                                        LeafCarrier* carrier, util::SplitRule& rule) {
  // The named leaf is never full between operations, so it takes the entry.
  [[maybe_unused]] const bool refused = entries_.tryAdd(index + 1, key, value);
  assert(!refused);
  std::optional<SplitInfo> info;
  const int32_t w = entries_.getTwoKStar();
  if (entries_.size(index + 1) >= w) {
    // The leaf is full, so its keys have no filler: the new entry is the last one <= key.
    const int32_t* keys = entries_.leafKeys(index + 1);
    const auto pos = static_cast<int32_t>(std::upper_bound(keys, keys + w, key) - keys) - 1;
    const util::RunDirection direction =
        rule.directionOf(key, pos > 0 ? std::optional(keys[pos - 1]) : std::nullopt,
                         pos + 1 < w ? std::optional(keys[pos + 1]) : std::nullopt);
    rule.setSequentialSplit(direction != util::RunDirection::kNone);
    info = split(index + 1, util::SplitRule::lowerEntries(w, pos, direction));
    if (parentFull) {
      // The parent node splits next, keeping lowerKeys(...) of its keys and one child more;
      // this group keeps as many leaves. In the middle that is the lower half.
      const int32_t m = entries_.store().m();
      info = rule.sequentialSplit() ? split(*info, rule.lowerKeys(m, index) + 1) : split(*info);
    }
  }
  // After the splits: the carrier names the block the group occupies now.
  if (carrier != nullptr)
    carrier->setLeaf(node());
  return info;
}

void LeafGroup::relink(bool first) {
  GroupStore& store = entries_.store();
  const GroupHeader* h = entries_.header();
  if (h->prev != 0)
    store.header(h->prev)->next = handle();
  else if (first)
    store.setFirstLeaf(handle());
  if (h->next != 0)
    store.header(h->next)->prev = handle();
}

SplitInfo LeafGroup::split(int32_t leaf) {
  return split(leaf, entries_.size(leaf) / 2);
}

SplitInfo LeafGroup::split(int32_t leaf, int32_t lowerEntries) {
  const bool first = entries_.store().firstLeaf() == handle();
  entries_.split(leaf, lowerEntries);
  relink(first);
  // A run of equal keys may be divided: the pivot then equals the lower leaf's last key.
  return SplitInfo(node(), entries_.keyAt(entries_.indexOf(leaf + 1, 1)), CSBTreeNode());
}

SplitInfo LeafGroup::split(const SplitInfo& info) {
  return split(info, (entries_.leaves() + 1) / 2);
}

SplitInfo LeafGroup::split(const SplitInfo& info, int32_t lowerLeaves) {
  const bool first = entries_.store().firstLeaf() == handle();
  LeafGroup upper(entries_.splitGroup(lowerLeaves));
  GroupHeader* lower = entries_.header();
  GroupHeader* up = upper.entries_.header();
  up->next = lower->next;
  up->prev = handle();
  lower->next = upper.handle();
  upper.relink(false);
  relink(first);
  return SplitInfo(node(), info.pivot, upper.node());
}

void LeafGroup::get(int32_t index, int32_t key, util::IntPushOperator& op) const {
  lookupValues(entries_.store(), handle(), index, key, op);
}

void LeafGroup::queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                           util::IntPushOperator& op) const {
  lookupRange(entries_.store(), handle(), index, lowKey, highKey, op);
}

void LeafGroup::remove(int32_t index, int32_t key, int32_t value, int32_t /*lowKey*/,
                       int32_t highKey) {
  using Removal = LeafGroupArrayMap::Removal;
  int32_t leaf = index + 1;
  bool more = entries_.removeFrom(leaf, key, value) == Removal::kMayFollow;
  // Every entry after this leaf is >= highKey: when that is above the key, nothing is left.
  if (key < highKey)
    return;
  GroupStore& store = entries_.store();
  LeafGroupArrayMap group = entries_;
  while (more) {
    if (leaf < group.leaves()) {
      ++leaf;
    } else {
      const GroupHandle next = group.header()->next;
      if (next == 0)
        return;
      group = LeafGroupArrayMap(store, next);
      leaf = 1;
    }
    more = group.removeFrom(leaf, key, value) == Removal::kMayFollow;
  }
}

// Graph records, one line each, written with one write:
//   groupX<id> [shape=record,label="{<l0> |{{K |V}|{K |V}}}|{<l1> |{}}|..."];
// one field per leaf: an empty cell, the port l<j> (j = leaf position from 0), above the
// leaf's entries in a row, each entry its key over its value. When there is a next group,
// the chain edge leaves the last leaf's port for the next group's first leaf:
//   "groupX<id>":l<L-1> -> "groupX<next id>":l0;
void LeafGroup::toDot(util::OutputStream& out) const {
  const std::string name = "groupX" + std::to_string(identityNumber());
  std::string line = name + " [shape=record,label=\"";
  const int32_t leaves = entries_.leaves();
  for (int32_t leaf = 1; leaf <= leaves; ++leaf) {
    if (leaf > 1)
      line += '|';
    line += "{<l" + std::to_string(leaf - 1) + "> |{";
    const int64_t first = entries_.indexOf(leaf, 1);
    for (int32_t n = 0; n < entries_.size(leaf); ++n) {
      if (n > 0)
        line += '|';
      line += '{' + std::to_string(entries_.keyAt(first + n)) + " |" +
              std::to_string(entries_.valueAt(first + n)) + '}';
    }
    line += "}}";
  }
  line += "\"];\n";
  out.write(line);
  const CSBTreeNode next = getNextLeafGroup();
  if (!next.isNull()) {
    out.write("\"" + name + "\":l" + std::to_string(leaves - 1) + " -> \"groupX" +
              std::to_string(next.identityNumber()) + "\":l0;\n");
  }
}

std::string LeafGroup::toString() const {
  return "LeafGroup " + std::to_string(identityNumber()) + " [" + entries_.toString() + "]";
}

}  // namespace core::csbtree
