#include "core/csbtree/CSBTree.h"

#include <cassert>
#include <cmath>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/NodeGroup.h"
#include "util/IOError.h"
#include "util/NumberFormat.h"

namespace core::csbtree {

namespace {

constexpr int32_t kMinKey = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxKey = std::numeric_limits<int32_t>::max();

void checkParameter(const char* name, int32_t value) {
  if (value < 1 || value > CSBTreeConstants::MAX_PARAMETER) {
    throw std::invalid_argument(std::string(name) + " must be between 1 and " +
                                std::to_string(CSBTreeConstants::MAX_PARAMETER) + ", got " +
                                std::to_string(value));
  }
}

std::string describe(const CSBTreeNode& group) {
  return (group.isLeaf() ? "leaf group " : "node group ") + std::to_string(group.identityNumber());
}

// The invariant check behind CSBTree::verify: one walk down the tree, recording the leaf
// groups in descent order, then one walk along the chain.
class Verifier {
 public:
  Verifier(int32_t k, int32_t k_star) : k(k), k_star(k_star) {}

  // Checks the group below a parent node (or the root group, for parent == nullptr) whose
  // member j holds keys in [lowOf(j), highOf(j)].
  void checkGroup(const CSBTreeNode& group, const NodeGroupArrayMap* parent, int32_t parentNode,
                  int32_t low, int32_t high, int32_t depth) {
    if (error)
      return;
    const int32_t members = parent == nullptr ? 1 : parent->nodeSize(parentNode) + 1;
    auto lowOf = [&](int32_t j) { return j == 0 ? low : parent->keyAt(parentNode, j - 1); };
    auto highOf = [&](int32_t j) {
      return parent == nullptr || j == members - 1 ? high : parent->keyAt(parentNode, j);
    };
    if (group.isLeaf())
      checkLeafGroup(static_cast<const LeafGroup&>(group), members, lowOf, highOf, depth);
    else
      checkNodeGroup(static_cast<const NodeGroup&>(group), parent == nullptr, members, lowOf,
                     highOf, depth);
  }

  // Compares the chain from `firstLeaf` with the leaf groups met in descent order, and checks
  // that the keys never decrease along it.
  void checkChain(const LeafGroup* firstLeaf) {
    if (error)
      return;
    const LeafGroup* group = firstLeaf;
    bool anyKey = false;
    int32_t previous = kMinKey;
    for (size_t i = 0; i < descentOrder.size(); ++i, group = group->getNextLeafGroup()) {
      if (group != descentOrder[i]) {
        fail("leaf group " + std::to_string(i) + " along the chain is not the one met in " +
             "descent order (" + describe(*descentOrder[i]) + ")");
        return;
      }
      const LeafGroupArrayMap& entries = group->getEntries();
      for (int32_t leaf = 1; leaf <= entries.leaves(); ++leaf) {
        for (int32_t n = 1; n <= entries.size(leaf); ++n) {
          const int32_t key = entries.keyAt(entries.indexOf(leaf, n));
          if (anyKey && key < previous) {
            fail("key " + std::to_string(key) + " in leaf " + std::to_string(leaf) + " of " +
                 describe(*group) + " follows the greater key " + std::to_string(previous));
            return;
          }
          anyKey = true;
          previous = key;
        }
      }
    }
    if (group != nullptr)
      fail(describe(*group) + " is on the chain but not below the root");
  }

  std::optional<std::string> error;

 private:
  void fail(std::string message) {
    if (!error)
      error = std::move(message);
  }

  template <class LowOf, class HighOf>
  void checkNodeGroup(const NodeGroup& group, bool isRoot, int32_t members, LowOf lowOf,
                      HighOf highOf, int32_t depth) {
    const NodeGroupArrayMap& entries = group.getEntries();
    const std::string name = describe(group);
    if (entries.getNumberOfNodes() != members) {
      fail(name + " has " + std::to_string(entries.getNumberOfNodes()) + " nodes, expected " +
           std::to_string(members));
      return;
    }
    if (entries.getM() != 4 * k) {
      fail(name + " has nodes of " + std::to_string(entries.getM()) + " keys, expected " +
           std::to_string(4 * k));
      return;
    }
    const int32_t minKeys = isRoot ? 1 : 2 * k;
    for (int32_t node = 0; node < members && !error; ++node) {
      const std::string where = "node " + std::to_string(node) + " of " + name;
      const int32_t size = entries.nodeSize(node);
      if (size < minKeys || size > 4 * k) {
        fail(where + " holds " + std::to_string(size) + " keys, expected " +
             std::to_string(minKeys) + " .. " + std::to_string(4 * k));
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
        if (entries.keyAt(node, i) != NodeGroupArrayMap::UNUSED_KEY) {
          fail(where + ": unused key slot " + std::to_string(i) + " holds " +
               std::to_string(entries.keyAt(node, i)) + " instead of the filler");
          return;
        }
      }
      const CSBTreeNode* child = entries.childGroup(node);
      if (child == nullptr) {
        fail(where + " has no child group");
        return;
      }
      checkGroup(*child, &entries, node, low, high, depth + 1);
    }
  }

  template <class LowOf, class HighOf>
  void checkLeafGroup(const LeafGroup& group, int32_t members, LowOf lowOf, HighOf highOf,
                      int32_t depth) {
    const LeafGroupArrayMap& entries = group.getEntries();
    const std::string name = describe(group);
    if (leafDepth >= 0 && depth != leafDepth) {
      fail(name + " lies at depth " + std::to_string(depth) + ", other leaf groups at " +
           std::to_string(leafDepth));
      return;
    }
    leafDepth = depth;
    descentOrder.push_back(&group);
    if (entries.leaves() != members) {
      fail(name + " has " + std::to_string(entries.leaves()) + " leaves, expected " +
           std::to_string(members));
      return;
    }
    if (entries.getTwoKStar() != 2 * k_star ||
        entries.size() != static_cast<int64_t>(members) * 2 * k_star ||
        entries.getCurrentSize() != entries.indexOf(members, entries.size(members) + 1)) {
      fail(name + " has inconsistent slot counts");
      return;
    }
    for (int32_t leaf = 1; leaf <= members; ++leaf) {
      const std::string where = "leaf " + std::to_string(leaf) + " of " + name;
      const int32_t size = entries.size(leaf);
      if (size < 0 || size >= 2 * k_star) {
        fail(where + " holds " + std::to_string(size) + " entries, expected 0 .. " +
             std::to_string(2 * k_star - 1));
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
      for (int32_t n = size + 1; n <= 2 * k_star; ++n) {
        const int32_t key = entries.keyAt(entries.indexOf(leaf, n));
        if (key != LeafGroupArrayMap::UNUSED_KEY) {
          fail(where + ": unused slot " + std::to_string(n) + " holds the key " +
               std::to_string(key) + " instead of the filler");
          return;
        }
      }
    }
  }

  int32_t k;
  int32_t k_star;
  int32_t leafDepth = -1;
  std::vector<const LeafGroup*> descentOrder;
};

}  // namespace

CSBTree::CSBTree(int32_t k, int32_t k_star) : k(k), k_star(k_star) {
  checkParameter("k", k);
  checkParameter("k_star", k_star);
}

CSBTree::~CSBTree() = default;

void CSBTree::add(int32_t key, int32_t value, LeafCarrier* carrier) {
  if (root == nullptr) {
    auto group = std::make_unique<LeafGroup>(k, k_star);
    firstLeaf = group.get();
    root = std::move(group);
  }
  std::optional<SplitInfo> grown = root->add(0, key, value, false, kMinKey, kMaxKey, carrier);
  ++addCounter;
  if (grown) {
    // The root group has two members now; a new one-node root group goes on top of it.
    assert(grown->rightNode == nullptr && grown->leftNode == root.get());
    root = std::make_unique<NodeGroup>(std::move(root), grown->pivot, k);
  }
  refreshNeeded = true;
}

void CSBTree::get(int32_t key, util::IntPushOperator& op) {
  if (root != nullptr)
    root->get(0, key, op);
  else
    op.thatsallfolks();
  ++getCounter;
}

void CSBTree::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  if (root != nullptr)
    root->queryRange(0, lowKey, highKey, op);
  else
    op.thatsallfolks();
  ++rangeQueryCounter;
}

void CSBTree::remove(int32_t key) {
  if (root != nullptr)
    root->remove(0, key, CSBTreeConstants::ALL_MAPPINGS, kMinKey, kMaxKey);
  refreshNeeded = true;
  ++delCounter;
}

void CSBTree::calculateStats() {
  if (!refreshNeeded)
    return;
  leafGroupCount = 0;
  leafCount = 0;
  elemCount = 0;
  for (const LeafGroup* group = firstLeaf; group != nullptr; group = group->getNextLeafGroup()) {
    leafCount += group->getEntries().leaves();
    elemCount += group->getEntries().getKeyNumber();
    ++leafGroupCount;
  }
  leafUtilization = leafUtilizationOf(elemCount, leafCount, k_star);
  refreshNeeded = false;
}

double CSBTree::leafUtilizationOf(int64_t elements, int64_t leaves, int32_t k_star) {
  // 0 / 0 gives NaN while there are no leaves.
  return static_cast<double>(elements) / static_cast<double>(leaves * k_star * 2);
}

int64_t CSBTree::size() {
  calculateStats();
  return elemCount;
}

int64_t CSBTree::getElemCount() {
  calculateStats();
  return elemCount;
}

int64_t CSBTree::getLeafCount() {
  calculateStats();
  return leafCount;
}

int64_t CSBTree::getLeafGroupCount() {
  calculateStats();
  return leafGroupCount;
}

double CSBTree::getLeafUtilization() {
  calculateStats();
  return leafUtilization;
}

void CSBTree::printStats() {
  printStats(std::cout);
}

void CSBTree::printStats(std::ostream& out) {
  calculateStats();
  out << "leafUtilization:\t" + util::formatDouble(leafUtilization) + "\tleafCount:\t" +
             std::to_string(leafCount) + "\telementCount:\t" + std::to_string(elemCount) + "\t";
}

void CSBTree::toDot(util::OutputStream& out) {
  const char* step = "writing the header";
  try {
    out.write("digraph g {\n");
    out.write("node [shape=record,height=.1];\n");
    step = "writing the root group";
    if (root != nullptr)
      root->toDot(out);
    step = "writing the leaf groups";
    for (LeafGroup* group = firstLeaf; group != nullptr; group = group->getNextLeafGroup())
      group->toDot(out);
    step = "writing the closing line";
    out.write("}\n");
    step = "flushing";
    out.flush();
    step = "closing";
    out.close();
  } catch (const util::IOError& error) {
    std::cout << "could not write dotty" << std::endl;
    std::cerr << "could not write dotty: " << error.what() << " (CSBTree::toDot, " << step << ")"
              << std::endl;
  }
}

std::string CSBTree::toString() const {
  if (root == nullptr)
    return "[]";
  if (root->isLeaf())
    return static_cast<const LeafGroup&>(*root).toString();
  return static_cast<const NodeGroup&>(*root).toString();
}

std::optional<std::string> CSBTree::verify() const {
  if (root == nullptr) {
    if (firstLeaf != nullptr)
      return "the tree has a first leaf group but no root";
    return std::nullopt;
  }
  Verifier verifier(k, k_star);
  verifier.checkGroup(*root, nullptr, 0, kMinKey, kMaxKey, 0);
  verifier.checkChain(firstLeaf);
  if (verifier.error)
    return verifier.error;

  if (!refreshNeeded) {
    int64_t groups = 0;
    int64_t leaves = 0;
    int64_t elements = 0;
    for (const LeafGroup* group = firstLeaf; group != nullptr; group = group->getNextLeafGroup()) {
      ++groups;
      leaves += group->getEntries().leaves();
      elements += group->getEntries().getKeyNumber();
    }
    const double utilization = leafUtilizationOf(elements, leaves, k_star);
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

}  // namespace core::csbtree
