#include "core/csbtree/LeafGroup.h"

#include <cassert>
#include <memory>
#include <utility>

namespace core::csbtree {

LeafGroup::LeafGroup(int32_t k, int32_t k_star)
    : LeafGroup(k, k_star, LeafGroupArrayMap(2 * k_star)) {}

LeafGroup::LeafGroup(int32_t k, int32_t k_star, LeafGroupArrayMap entries)
    : entries_(std::move(entries)), k_(k), k_star_(k_star) {}

std::optional<SplitInfo> LeafGroup::add(int32_t index, int32_t key, int32_t value, bool parentFull,
                                        int32_t /*lowKey*/, int32_t /*highKey*/,
                                        LeafCarrier* carrier) {
  // The named leaf is never full between operations, so it takes the entry.
  [[maybe_unused]] const bool refused = entries_.tryAdd(index + 1, key, value);
  assert(!refused);
  if (carrier != nullptr)
    carrier->setLeaf(this);
  if (entries_.size(index + 1) < 2 * k_star_)
    return std::nullopt;
  SplitInfo info = split(index + 1);
  if (!parentFull)
    return info;
  return split(info);
}

SplitInfo LeafGroup::split(int32_t leaf) {
  entries_.split(leaf);
  // A run of equal keys may be divided: the pivot then equals the lower leaf's last key.
  return SplitInfo(this, entries_.keyAt(entries_.indexOf(leaf + 1, 1)), nullptr);
}

SplitInfo LeafGroup::split(const SplitInfo& info) {
  auto upper = std::make_unique<LeafGroup>(k_, k_star_, entries_.split());
  upper->nextLeafGroup_ = nextLeafGroup_;
  nextLeafGroup_ = upper.get();
  return SplitInfo(this, info.pivot, std::move(upper));
}

void LeafGroup::get(int32_t index, int32_t key, util::IntPushOperator& op) {
  util::LookupResult code = entries_.get(index + 1, key, op);
  for (const LeafGroup* group = nextLeafGroup_;
       code != util::LookupResult::STOP && group != nullptr; group = group->nextLeafGroup_) {
    code = code == util::LookupResult::CONTINUE_WITH_BINSEARCH
               ? group->entries_.get(1, key, op)
               : group->entries_.continueGet(0, key, op);
  }
  op.thatsallfolks();
}

void LeafGroup::queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                           util::IntPushOperator& op) {
  util::LookupResult code = entries_.queryRange(index + 1, lowKey, highKey, op);
  for (const LeafGroup* group = nextLeafGroup_;
       code != util::LookupResult::STOP && group != nullptr; group = group->nextLeafGroup_) {
    code = code == util::LookupResult::CONTINUE_WITH_BINSEARCH
               ? group->entries_.queryRange(1, lowKey, highKey, op)
               : group->entries_.continueScan(0, highKey, op);
  }
  op.thatsallfolks();
}

void LeafGroup::remove(int32_t index, int32_t key, int32_t value, int32_t /*lowKey*/,
                       int32_t highKey) {
  int32_t leaf = index + 1;
  bool more = entries_.remove(leaf, key, value);
  // Every entry after this leaf is >= highKey: when that is above the key, nothing is left.
  if (key < highKey)
    return;
  LeafGroup* group = this;
  while (more) {
    if (leaf < group->entries_.leaves()) {
      ++leaf;
    } else {
      group = group->nextLeafGroup_;
      if (group == nullptr)
        return;
      leaf = 1;
    }
    more = group->entries_.remove(leaf, key, value);
  }
}

// Graph records, one line each, written with one write:
//   groupX<id> [shape=record,label="{<l0> |{{K |V}|{K |V}}}|{<l1> |{}}|..."];
// one field per leaf: an empty cell, the port l<j> (j = leaf position from 0), above the
// leaf's entries in a row, each entry its key over its value. When there is a next group,
// the chain edge leaves the last leaf's port for the next group's first leaf:
//   "groupX<id>":l<L-1> -> "groupX<next id>":l0;
void LeafGroup::toDot(util::OutputStream& out) {
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
  if (nextLeafGroup_ != nullptr) {
    out.write("\"" + name + "\":l" + std::to_string(leaves - 1) + " -> \"groupX" +
              std::to_string(nextLeafGroup_->identityNumber()) + "\":l0;\n");
  }
}

int64_t LeafGroup::allocatedBytes() const {
  return static_cast<int64_t>(sizeof(LeafGroup)) + entries_.allocatedBytes();
}

std::string LeafGroup::toString() const {
  return "LeafGroup " + std::to_string(identityNumber()) + " [" + entries_.toString() + "]";
}

}  // namespace core::csbtree
