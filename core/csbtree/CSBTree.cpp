#include "core/csbtree/CSBTree.h"

#include <cassert>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <utility>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/CSBTreeVerifier.h"
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
  return CSBTreeVerifier(k, k_star)
      .check(root.get(), firstLeaf, refreshNeeded, leafGroupCount, leafCount, elemCount,
             leafUtilization);
}

}  // namespace core::csbtree
