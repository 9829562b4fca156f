#include "core/csbtree/CSBTreeVerifier.h"

#include <cmath>
#include <limits>
#include <utility>

#include "core/csbtree/CSBTree.h"

namespace core::csbtree {

namespace {

constexpr int32_t kMinKey = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxKey = std::numeric_limits<int32_t>::max();

std::string describe(CSBTreeNode group) {
  return (group.isLeaf() ? "leaf group " : "node group ") + std::to_string(group.identityNumber());
}

}  // namespace

CSBTreeVerifier::CSBTreeVerifier(int32_t k, int32_t k_star)
    : CSBTreeVerifier(k, k_star, util::SplitPolicy::kPositional) {}

CSBTreeVerifier::CSBTreeVerifier(int32_t k, int32_t k_star, util::SplitPolicy policy)
    : k_(k), k_star_(k_star), policy_(policy) {}

std::optional<std::string> CSBTreeVerifier::check(CSBTreeNode root, CSBTreeNode firstLeaf,
                                                  bool statsStale, int64_t leafGroupCount,
                                                  int64_t leafCount, int64_t elemCount,
                                                  double leafUtilization) {
  if (root.isNull()) {
    if (!firstLeaf.isNull())
      return "the tree has a first leaf group but no root";
    return std::nullopt;
  }
  checkGroup(root, nullptr, 0, kMinKey, kMaxKey, 0);
  checkChain(firstLeaf);
  if (error_)
    return error_;

  if (!statsStale) {
    int64_t groups = 0;
    int64_t leaves = 0;
    int64_t elements = 0;
    for (CSBTreeNode group = firstLeaf; !group.isNull();
         group = LeafGroup(group).getNextLeafGroup()) {
      ++groups;
      leaves += LeafGroup(group).getEntries().leaves();
      elements += LeafGroup(group).getEntries().getKeyNumber();
    }
    const double utilization = CSBTree::leafUtilizationOf(elements, leaves, k_star_);
    const bool sameUtilization =
        utilization == leafUtilization || (std::isnan(utilization) && std::isnan(leafUtilization));
    if (groups != leafGroupCount || leaves != leafCount || elements != elemCount ||
        !sameUtilization) {
      return "the cached statistics (" + std::to_string(leafGroupCount) + " leaf groups, " +
             std::to_string(leafCount) + " leaves, " + std::to_string(elemCount) +
             " entries) differ from a recount (" + std::to_string(groups) + ", " +
             std::to_string(leaves) + ", " + std::to_string(elements) + ")";
    }
  }
  return std::nullopt;
}

void CSBTreeVerifier::checkGroup(CSBTreeNode group, const NodeGroupArrayMap* parent,
                                 int32_t parentNode, int32_t low, int32_t high, int32_t depth) {
  if (error_)
    return;
  if (!blocks_.insert(group.handle()).second) {
    fail(describe(group) + " shares its block with another group");
    return;
  }
  if (const int32_t id = group.store()->header(group.handle())->identity;
      id != 0 && !identities_.insert(id).second) {
    fail(describe(group) + " has the identity number of another group");
    return;
  }
  if (parent != nullptr && group.level() != parent->level() - 1) {
    fail(describe(group) + " is at level " + std::to_string(group.level()) +
         ", below a node group at level " + std::to_string(parent->level()));
    return;
  }
  const int32_t members = parent == nullptr ? 1 : parent->keyCount(parentNode) + 1;
  auto lowOf = [&](int32_t j) { return j == 0 ? low : parent->keyAt(parentNode, j - 1); };
  auto highOf = [&](int32_t j) {
    return parent == nullptr || j == members - 1 ? high : parent->keyAt(parentNode, j);
  };
  if (group.isLeaf())
    checkLeafGroup(LeafGroup(group), members, lowOf, highOf, depth);
  else
    checkNodeGroup(NodeGroup(group), parent == nullptr, members, lowOf, highOf, depth);
}

void CSBTreeVerifier::checkChain(CSBTreeNode firstLeaf) {
  if (error_)
    return;
  CSBTreeNode group = firstLeaf;
  GroupHandle before = 0;
  bool anyKey = false;
  int32_t previous = kMinKey;
  for (size_t i = 0; i < descentOrder_.size();
       ++i, before = group.handle(), group = LeafGroup(group).getNextLeafGroup()) {
    if (group.handle() != descentOrder_[i]) {
      fail("leaf group " + std::to_string(i) + " along the chain is not the one met in " +
           "descent order (" + describe(CSBTreeNode(firstLeaf.store(), descentOrder_[i])) + ")");
      return;
    }
    if (group.store()->header(group.handle())->prev != before) {
      fail(describe(group) + " links back to another group than the one before it");
      return;
    }
    const LeafGroupArrayMap entries = LeafGroup(group).getEntries();
    for (int32_t leaf = 1; leaf <= entries.leaves(); ++leaf) {
      for (int32_t n = 1; n <= entries.size(leaf); ++n) {
        const int32_t key = entries.keyAt(entries.indexOf(leaf, n));
        if (anyKey && key < previous) {
          fail("key " + std::to_string(key) + " in leaf " + std::to_string(leaf) + " of " +
               describe(group) + " follows the greater key " + std::to_string(previous));
          return;
        }
        anyKey = true;
        previous = key;
      }
    }
  }
  if (!group.isNull())
    fail(describe(group) + " is on the chain but not below the root");
}

void CSBTreeVerifier::fail(std::string message) {
  if (!error_)
    error_ = std::move(message);
}

template <class LowOf, class HighOf>
void CSBTreeVerifier::checkNodeGroup(const NodeGroup& group, bool isRoot, int32_t members,
                                     LowOf lowOf, HighOf highOf, int32_t depth) {
  const NodeGroupArrayMap entries = group.getEntries();
  const std::string name = describe(group.node());
  if (entries.getNumberOfNodes() != members) {
    fail(name + " has " + std::to_string(entries.getNumberOfNodes()) + " nodes, expected " +
         std::to_string(members));
    return;
  }
  if (entries.getM() != 4 * k_) {
    fail(name + " has nodes of " + std::to_string(entries.getM()) + " keys, expected " +
         std::to_string(4 * k_));
    return;
  }
  const int32_t minKeys = isRoot || policy_ == util::SplitPolicy::kSequential ? 1 : 2 * k_;
  for (int32_t node = 0; node < members && !error_; ++node) {
    const std::string where = "node " + std::to_string(node) + " of " + name;
    const int32_t size = entries.keyCount(node);
    if (size < minKeys || size > 4 * k_) {
      fail(where + " holds " + std::to_string(size) + " keys, expected " + std::to_string(minKeys) +
           " .. " + std::to_string(4 * k_));
      return;
    }
    const int32_t low = lowOf(node);
    const int32_t high = highOf(node);
    for (int32_t i = 0; i < size; ++i) {
      const int32_t key = entries.keyAt(node, i);
      if (i > 0 && key < entries.keyAt(node, i - 1)) {
        fail(where + ": separator " + std::to_string(key) + " follows a greater one");
        return;
      }
      if (key < low || key > high) {
        fail(where + ": separator " + std::to_string(key) + " lies outside its interval [" +
             std::to_string(low) + ", " + std::to_string(high) + "]");
        return;
      }
    }
    for (int32_t i = size; i < entries.getM(); ++i) {
      if (entries.keyAt(node, i) != NodeGroupArrayMap::kUnusedKey) {
        fail(where + ": unused key slot " + std::to_string(i) + " holds " +
             std::to_string(entries.keyAt(node, i)) + " instead of the filler");
        return;
      }
    }
    const CSBTreeNode child = entries.getChild(node);
    if (child.isNull()) {
      fail(where + " has no child group");
      return;
    }
    checkGroup(child, &entries, node, low, high, depth + 1);
  }
}

template <class LowOf, class HighOf>
void CSBTreeVerifier::checkLeafGroup(const LeafGroup& group, int32_t members, LowOf lowOf,
                                     HighOf highOf, int32_t depth) {
  const LeafGroupArrayMap entries = group.getEntries();
  const std::string name = describe(group.node());
  if (leafDepth_ >= 0 && depth != leafDepth_) {
    fail(name + " lies at depth " + std::to_string(depth) + ", other leaf groups at " +
         std::to_string(leafDepth_));
    return;
  }
  leafDepth_ = depth;
  descentOrder_.push_back(group.handle());
  if (entries.leaves() != members) {
    fail(name + " has " + std::to_string(entries.leaves()) + " leaves, expected " +
         std::to_string(members));
    return;
  }
  if (entries.getTwoKStar() != 2 * k_star_ ||
      entries.size() != static_cast<int64_t>(members) * 2 * k_star_ ||
      entries.endSlot() != entries.indexOf(members, entries.size(members) + 1)) {
    fail(name + " has inconsistent slot counts");
    return;
  }
  for (int32_t leaf = 1; leaf <= members; ++leaf) {
    const std::string where = "leaf " + std::to_string(leaf) + " of " + name;
    const int32_t size = entries.size(leaf);
    if (size < 0 || size >= 2 * k_star_) {
      fail(where + " holds " + std::to_string(size) + " entries, expected 0 .. " +
           std::to_string(2 * k_star_ - 1));
      return;
    }
    const int32_t low = lowOf(leaf - 1);
    const int32_t high = highOf(leaf - 1);
    for (int32_t n = 1; n <= size; ++n) {
      const int32_t key = entries.keyAt(entries.indexOf(leaf, n));
      if (n > 1 && key < entries.keyAt(entries.indexOf(leaf, n - 1))) {
        fail(where + ": key " + std::to_string(key) + " follows a greater one");
        return;
      }
      if (key < low || key > high) {
        fail(where + ": key " + std::to_string(key) + " lies outside its interval [" +
             std::to_string(low) + ", " + std::to_string(high) + "]");
        return;
      }
    }
    for (int32_t n = size + 1; n <= 2 * k_star_; ++n) {
      const int32_t key = entries.keyAt(entries.indexOf(leaf, n));
      if (key != LeafGroupArrayMap::kUnusedKey) {
        fail(where + ": unused slot " + std::to_string(n) + " holds the key " +
             std::to_string(key) + " instead of the filler");
        return;
      }
    }
  }
}

}  // namespace core::csbtree
