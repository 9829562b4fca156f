#include "core/csbtree/NodeGroup.h"

#include <cassert>

#include "core/csbtree/KeySearch.h"
#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/Lookup.h"

namespace core::csbtree {

namespace {

// A tree of 2^31 entries has far fewer levels: every node has at least two children.
constexpr int32_t kMaxLevels = 64;

// Asks for the lines that a descent reads next in member `member` of the group `block` at
// `level` (of `members` members): a node's keys, size and child handle, or a leaf's keys and
// values together with the group's header and the leaf's size.
[[gnu::always_inline]] inline void prefetchMember(const GroupStore& store, std::byte* block,
                                                  int32_t level, int32_t members, int32_t member) {
  if (level > 0) {
    GroupStore::prefetch(store.nodeKeys(block, member), store.nodeSlotBytes());
  } else {
    __builtin_prefetch(block);
    __builtin_prefetch(GroupStore::leafSizes(block) + member);
    GroupStore::prefetch(store.leafKeys(block, members, member), store.leafBytes());
  }
}

// Where a lookup's descent ends: a member of a leaf group, and the separators around it.
struct LeafStop {
  GroupHandle group;
  int32_t member;
  int32_t low;
  int32_t high;
};

// Descends from node `node` of the group `group` at `level` to the first leaf that may hold
// `key`. With `bounds`, also tracks the separators enclosing each child.
template <bool bounds>
LeafStop descendFirst(const GroupStore& store, GroupHandle group, int32_t level, int32_t node,
                      int32_t key, int32_t low, int32_t high) {
  const int32_t m = store.m();
  std::byte* block = store.at(group);
  for (;;) {
    const int32_t* keys = store.nodeKeys(block, node);
    const NodeSlotMeta* meta = store.nodeMeta(const_cast<int32_t*>(keys));
    const auto child = static_cast<int32_t>(countedLowerBound(keys, m, key) - keys);
    if constexpr (bounds) {
      const int32_t size = meta->size;
      if (child > 0)
        low = keys[child - 1];
      if (child < size)
        high = keys[child];
    }
    group = meta->child;
    block = store.at(group);
    --level;
    prefetchMember(store, block, level, meta->size + 1, child);
    if (level == 0)
      return LeafStop{group, child, low, high};
    node = child;
  }
}

}  // namespace

const CSBTreeNode NodeGroup::NULL_NODE;

NodeGroup::NodeGroup(CSBTreeNode child, int32_t key) : entries_(*child.store(), child.level() + 1) {
  entries_.setChild(0, child);
  entries_.put(key, 0, 0);
}

std::optional<SplitInfo> NodeGroup::add(int32_t index, int32_t key, int32_t value, bool parentFull,
                                        int32_t lowKey, int32_t highKey, LeafCarrier* carrier) {
  util::SplitRule positional;
  return add(index, key, value, parentFull, lowKey, highKey, carrier, positional);
}

std::optional<SplitInfo> NodeGroup::add(int32_t index, int32_t key, int32_t value, bool parentFull,
                                        int32_t lowKey, int32_t highKey, LeafCarrier* carrier,
                                        util::SplitRule& rule) {
  GroupStore& store = entries_.store();
  const int32_t m = store.m();
  struct Step {
    GroupHandle group;
    int32_t node;
    int32_t child;
    bool full;
  };
  Step path[kMaxLevels];
  int32_t depth = 0;
  int32_t level = entries_.level();
  GroupHandle group = handle();
  int32_t node = index;
  for (;;) {
    std::byte* block = store.at(group);
    int32_t* keys = store.nodeKeys(block, node);
    const NodeSlotMeta* meta = store.nodeMeta(keys);
    const int32_t size = meta->size;
    auto child = static_cast<int32_t>(countedUpperBound(keys, m, key) - keys);
    if (child > size)
      child = size;  // only the largest key passes the filler
    if (child > 0)
      lowKey = keys[child - 1];
    if (child < size)
      highKey = keys[child];
    assert(depth < kMaxLevels);
    path[depth++] = Step{group, node, child, size >= m};
    group = meta->child;
    --level;
    prefetchMember(store, store.at(group), level, size + 1, child);
    node = child;
    if (level == 0)
      break;
  }
  std::optional<SplitInfo> grown =
      LeafGroup(store, group)
          .add(node, key, value, path[depth - 1].full, lowKey, highKey, carrier, rule);
  // Back up: each group that receives a report stores its child's new block and takes the
  // pivot, splitting itself when its node is full.
  for (int32_t i = depth - 1; i >= 0 && grown; --i) {
    const Step& step = path[i];
    NodeGroup parent(store, step.group);
    parent.entries_.setChild(step.node, grown->leftNode);
    if (grown->rightNode.isNull()) {
      // The child group has one member more, right after `child`: its pivot separates the two.
      assert(!step.full);
      parent.entries_.put(grown->pivot, step.child, step.node);
      grown.reset();
    } else {
      assert(step.full);
      const bool above = i > 0 ? path[i - 1].full : parentFull;
      grown = rule.sequentialSplit()
                  ? parent.split(grown->pivot, grown->rightNode, above, step.node, step.child, rule)
                  : parent.split(grown->pivot, grown->rightNode, above, step.node);
    }
  }
  if (grown)
    entries_ = NodeGroupArrayMap(store, grown->leftNode.handle());  // this group has moved
  return grown;
}

SplitInfo NodeGroup::split(int32_t key, CSBTreeNode newChild, bool parentFull, int32_t index) {
  // Where `key` goes among separators equal to it does not matter: the keys come out the same.
  assert(entries_.keyCount(index) > 0);
  const int64_t pos = entries_.getIntervalPosition(key, index);
  const int32_t upKey = entries_.splitNode(key, pos, index, newChild);
  if (!parentFull)
    return SplitInfo(node(), upKey, CSBTreeNode());
  const NodeGroup upper(entries_.splitNodeGroup());
  return SplitInfo(node(), upKey, upper.node());
}

SplitInfo NodeGroup::split(int32_t key, CSBTreeNode newChild, bool parentFull, int32_t index,
                           int32_t child, const util::SplitRule& rule) {
  // The separator goes right after the child that split, where the child group has put its new
  // member; the group's split below this node kept as many members as this node keeps keys,
  // plus one.
  const int32_t m = entries_.getM();
  const int64_t pos = static_cast<int64_t>(index) * m + child;
  const int32_t upKey = entries_.splitNode(key, pos, index, newChild, rule.lowerKeys(m, child));
  if (!parentFull)
    return SplitInfo(node(), upKey, CSBTreeNode());
  const NodeGroup upper(entries_.splitNodeGroup(rule.lowerKeys(m, index) + 1));
  return SplitInfo(node(), upKey, upper.node());
}

void NodeGroup::get(int32_t index, int32_t key, util::IntPushOperator& op) const {
  lookupValues(entries_.store(), handle(), index, key, op);
}

void NodeGroup::queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                           util::IntPushOperator& op) const {
  lookupRange(entries_.store(), handle(), index, lowKey, highKey, op);
}

void NodeGroup::remove(int32_t index, int32_t key, int32_t value, int32_t lowKey,
                       int32_t highKey) const {
  GroupStore& store = entries_.store();
  const LeafStop stop =
      descendFirst<true>(store, handle(), entries_.level(), index, key, lowKey, highKey);
  LeafGroup(store, stop.group).remove(stop.member, key, value, stop.low, stop.high);
}

// Graph records, one line each, written with one write:
//   groupX<id> [shape=record,label="{{K|K|...}|<n0> }|{{K|...}|<n1> }|..."];
// one field per node: its keys in a row above an empty cell, the port n<i>, from which the
// edge to the node's child group leaves (a node without keys is just "{<n<i>> }"). Then, per
// node in order, the edge
//   "groupX<id>":n<i> -> "groupX<child id>";
// followed at once by the child's own records when the child is a node group. A node whose
// child is the sentinel has no edge.
void NodeGroup::toDot(util::OutputStream& out) const {
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
    const CSBTreeNode child = entries_.getChild(node);
    if (child.isNull())
      continue;
    out.write("\"" + name + "\":n" + std::to_string(node) + " -> \"groupX" +
              std::to_string(child.identityNumber()) + "\";\n");
    if (!child.isLeaf())
      child.toDot(out);
  }
}

std::string NodeGroup::toString() const {
  return "[" + entries_.toString() + "]";
}

}  // namespace core::csbtree
