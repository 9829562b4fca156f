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
  if (value < 1 || value > CSBTreeConstants::kMaxParameter) {
    throw std::invalid_argument(std::string(name) + " must be between 1 and " +
                                std::to_string(CSBTreeConstants::kMaxParameter) + ", got " +
                                std::to_string(value));
  }
}

}  // namespace

CSBTree::CSBTree(int32_t k, int32_t k_star) : k_(k), k_star_(k_star) {
  checkParameter("k", k);
  checkParameter("k_star", k_star);
}

CSBTree::~CSBTree() = default;

void CSBTree::add(int32_t key, int32_t value, LeafCarrier* carrier) {
  if (root_ == nullptr) {
    auto group = std::make_unique<LeafGroup>(k_, k_star_);
    firstLeaf_ = group.get();
    root_ = std::move(group);
  }
  std::optional<SplitInfo> grown = root_->add(0, key, value, false, kMinKey, kMaxKey, carrier);
  ++addCounter_;
  if (grown) {
    // The root group has two members now; a new one-node root group goes on top of it.
    assert(grown->rightNode == nullptr && grown->leftNode == root_.get());
    root_ = std::make_unique<NodeGroup>(std::move(root_), grown->pivot, k_);
  }
  refreshNeeded_ = true;
}

void CSBTree::get(int32_t key, util::IntPushOperator& op) {
  if (root_ != nullptr)
    root_->get(0, key, op);
  else
    op.thatsallfolks();
  ++getCounter_;
}

void CSBTree::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  if (root_ != nullptr)
    root_->queryRange(0, lowKey, highKey, op);
  else
    op.thatsallfolks();
  ++rangeQueryCounter_;
}

void CSBTree::remove(int32_t key) {
  if (root_ != nullptr)
    root_->remove(0, key, CSBTreeConstants::ALL_MAPPINGS, kMinKey, kMaxKey);
  refreshNeeded_ = true;
  ++delCounter_;
}

void CSBTree::calculateStats() {
  if (!refreshNeeded_)
    return;
  leafGroupCount_ = 0;
  leafCount_ = 0;
  elemCount_ = 0;
  for (const LeafGroup* group = firstLeaf_; group != nullptr; group = group->getNextLeafGroup()) {
    leafCount_ += group->getEntries().leaves();
    elemCount_ += group->getEntries().getKeyNumber();
    ++leafGroupCount_;
  }
  leafUtilization_ = leafUtilizationOf(elemCount_, leafCount_, k_star_);
  refreshNeeded_ = false;
}

double CSBTree::leafUtilizationOf(int64_t elements, int64_t leaves, int32_t k_star) {
  // 0 / 0 gives NaN while there are no leaves.
  return static_cast<double>(elements) / static_cast<double>(leaves * k_star * 2);
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
  out << "leafUtilization:\t" + util::formatDouble(leafUtilization_) + "\tleafCount:\t" +
             std::to_string(leafCount_) + "\telementCount:\t" + std::to_string(elemCount_) + "\t";
}

void CSBTree::toDot(util::OutputStream& out) {
  const char* step = "writing the header";
  try {
    out.write("digraph g {\n");
    out.write("node [shape=record,height=.1];\n");
    step = "writing the root group";
    if (root_ != nullptr)
      root_->toDot(out);
    step = "writing the leaf groups";
    for (LeafGroup* group = firstLeaf_; group != nullptr; group = group->getNextLeafGroup())
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
  if (root_ == nullptr)
    return "[]";
  if (root_->isLeaf())
    return static_cast<const LeafGroup&>(*root_).toString();
  return static_cast<const NodeGroup&>(*root_).toString();
}

std::optional<std::string> CSBTree::verify() const {
  return CSBTreeVerifier(k_, k_star_)
      .check(root_.get(), firstLeaf_, refreshNeeded_, leafGroupCount_, leafCount_, elemCount_,
             leafUtilization_);
}

}  // namespace core::csbtree
