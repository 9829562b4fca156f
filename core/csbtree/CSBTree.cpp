#include "core/csbtree/CSBTree.h"

#include <cassert>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <utility>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/CSBTreeVerifier.h"
#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/Lookup.h"
#include "core/csbtree/NodeGroup.h"
#include "util/IOError.h"
#include "util/LeafStatistics.h"

namespace core::csbtree {

namespace {

constexpr int32_t kMinKey = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxKey = std::numeric_limits<int32_t>::max();

int32_t checked(const char* name, int32_t value, int32_t max, const char* bound) {
  if (value < 1 || value > max) {
    throw std::invalid_argument(std::string(name) + " must be between 1 and " +
                                std::to_string(max) + " (" + bound + "), got " +
                                std::to_string(value));
  }
  return value;
}

}  // namespace

CSBTree::CSBTree(int32_t k, int32_t k_star) : CSBTree(k, k_star, util::SplitPolicy::kPositional) {}

CSBTree::CSBTree(int32_t k, int32_t k_star, util::SplitPolicy policy)
    : k_(checked("k", k, CSBTreeConstants::kMaxK, "4 x k keys per node, counted in 32 bits")),
      k_star_(checked("k_star", k_star, CSBTreeConstants::kMaxKStar,
                      "2 x k_star entries per leaf, counted in 32 bits")),
      store_(k_, k_star_),
      rule_(policy) {}

CSBTree::~CSBTree() = default;

void CSBTree::addEntry(int32_t key, int32_t value, LeafCarrier* carrier) {
  if (root_.isNull()) {
    const LeafGroup group(store_);
    store_.setFirstLeaf(group.handle());
    root_ = group.node();
  }
  std::optional<SplitInfo> grown =
      root_.add(0, key, value, false, kMinKey, kMaxKey, carrier, rule_);
  rule_.inserted(key);
  ++addCounter_;
  if (grown) {
    // The root group has two members now; a new one-node root group goes on top of it.
    assert(grown->rightNode.isNull() && grown->leftNode == root_);
    root_ = NodeGroup(grown->leftNode, grown->pivot).node();
  }
  refreshNeeded_ = true;
}

void CSBTree::get(int32_t key, util::IntPushOperator& op) {
  if (!root_.isNull())
    lookupValues(store_, root_.handle(), 0, key, op);
  else
    op.thatsallfolks();
  ++getCounter_;
}

void CSBTree::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  if (!root_.isNull())
    lookupRange(store_, root_.handle(), 0, lowKey, highKey, op);
  else
    op.thatsallfolks();
  ++rangeQueryCounter_;
}

void CSBTree::remove(int32_t key) {
  if (!root_.isNull())
    root_.remove(0, key, CSBTreeConstants::ALL_MAPPINGS, kMinKey, kMaxKey);
  refreshNeeded_ = true;
  ++delCounter_;
}

void CSBTree::calculateStats() {
  if (!refreshNeeded_)
    return;
  leafGroupCount_ = 0;
  leafCount_ = 0;
  elemCount_ = 0;
  for (GroupHandle group = store_.firstLeaf(); group != 0; group = store_.header(group)->next) {
    const LeafGroupArrayMap entries(store_, group);
    leafCount_ += entries.leaves();
    elemCount_ += entries.getKeyNumber();
    ++leafGroupCount_;
  }
  leafUtilization_ = leafUtilizationOf(elemCount_, leafCount_, k_star_);
  refreshNeeded_ = false;
}

double CSBTree::leafUtilizationOf(int64_t elements, int64_t leaves, int32_t k_star) {
  return util::leafUtilization(elements, leaves, k_star);
}

int64_t CSBTree::size() {
  calculateStats();
  return elemCount_;
}

int64_t CSBTree::getElemCount() {
  calculateStats();
  return elemCount_;
}

int64_t CSBTree::getLeafCount() {
  calculateStats();
  return leafCount_;
}

int64_t CSBTree::getLeafGroupCount() {
  calculateStats();
  return leafGroupCount_;
}

double CSBTree::getLeafUtilization() {
  calculateStats();
  return leafUtilization_;
}

void CSBTree::printStats() {
  printStats(std::cout);
}

void CSBTree::printStats(std::ostream& out) {
  calculateStats();
  out << util::leafStatisticsLine(leafUtilization_, leafCount_, elemCount_);
}

void CSBTree::toDot(util::OutputStream& out) {
  const char* step = "writing the header";
  try {
    out.write("digraph g {\n");
    out.write("node [shape=record,height=.1];\n");
    step = "writing the root group";
    if (!root_.isNull())
      root_.toDot(out);
    step = "writing the leaf groups";
    for (GroupHandle group = store_.firstLeaf(); group != 0; group = store_.header(group)->next)
      LeafGroup(store_, group).toDot(out);
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
  if (root_.isNull())
    return "[]";
  if (root_.isLeaf())
    return LeafGroup(root_).toString();
  return NodeGroup(root_).toString();
}

CSBTreeNode CSBTree::getFirstLeaf() const {
  return CSBTreeNode(&store_, store_.firstLeaf());
}

std::optional<std::string> CSBTree::verify() const {
  return CSBTreeVerifier(k_, k_star_, rule_.policy())
      .check(root_, getFirstLeaf(), refreshNeeded_, leafGroupCount_, leafCount_, elemCount_,
             leafUtilization_);
}

}  // namespace core::csbtree
