#include "core/btree/BTree.h"

#include <iostream>
#include <limits>

#include "core/btree/BTreeConstants.h"
#include "core/btree/BTreeVerifier.h"
#include "core/btree/InternalNode.h"
#include "util/IOError.h"
#include "util/LeafStatistics.h"

namespace core::btree {

namespace {

constexpr int32_t kMinKey = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxKey = std::numeric_limits<int32_t>::max();

int32_t checkedK(int32_t k) {
  BTreeConstants::checkK(k);
  return k;
}

int32_t checkedKStar(int32_t k_star) {
  BTreeConstants::checkKStar(k_star);
  return k_star;
}

}  // namespace

BTree::BTree(int32_t k, int32_t k_star) : BTree(k, k_star, util::SplitPolicy::kPositional) {}

BTree::BTree(int32_t k, int32_t k_star, util::SplitPolicy policy)
    : k_(checkedK(k)), k_star_(checkedKStar(k_star)), pool_(k_, k_star_), rule_(policy) {}

std::string BTree::toString() const {
  if (root_ == NodePool::kNoNode)
    return "[]";
  return rootNode().toString();
}

void BTree::add(int32_t key, int32_t value) {
  addEntry(key, value, nullptr);
}

void BTree::add(int32_t key, int32_t value, LeafCarrier& carrier) {
  addEntry(key, value, &carrier);
}

void BTree::addEntry(int32_t key, int32_t value, LeafCarrier* carrier) {
  if (root_ == NodePool::kNoNode) {
    firstLeaf_ = pool_.newLeaf().handle();
    root_ = firstLeaf_;
  }
  // Down to the leaf, remembering the path; then the splits travel back up it, each parent
  // absorbing its child's split until one does not split.
  path_.clear();
  const LeafRoute route = routeToLeaf(key, &path_);
  pool_.prefetchLeafEntries(route.leaf);
  std::optional<SplitInfo> split =
      Leaf(&pool_, route.leaf).add(key, value, route.lowKey, route.highKey, carrier, rule_);
  rule_.inserted(key);
  refreshNeeded_ = true;
  // path_[i] lies at level height_ - i.
  for (; split && !path_.empty(); path_.pop_back()) {
    const auto level = static_cast<int32_t>(height_ - (path_.size() - 1));
    split = InternalNode(&pool_, path_.back(), level).absorb(*split, rule_);
  }
  if (split) {
    // The old root stays the first child; for a leaf root the split's left node may be a
    // chain-only leaf after it, which the chain still reaches.
    root_ = pool_.newInternalNode(rootNode(), split->pivot, split->rightNode).handle();
    ++height_;
  }
}

// Every descent is a loop over raw blocks: the tree knows its height, so it knows the kind
// of every node on the way. Every internal node has keys (k >= 2 leaves some on both sides
// of a split), so each level has a child for every key. The search shape is a template
// argument, chosen once per operation, so that each level's search is inlined.
template <int KeyLines>
[[gnu::always_inline]] inline BTree::Descent BTree::descend(int32_t key) const {
  const int32_t capacity = pool_.internalCapacity();
  NodeHandle node = root_;
  int32_t* block = nullptr;
  int32_t position = 0;
  for (int32_t level = height_; level > 0; --level) {
    block = pool_.block(node);
    pool_.prefetchChildLines(block);
    position = childPosition<KeyLines>(block, capacity, key);
    node = InternalBlock(block, capacity).children()[position];
  }
  return Descent{node, InternalBlock(block, capacity), position};
}

[[gnu::always_inline]] inline BTree::Descent BTree::descendTo(int32_t key) const {
  return withKeyLines(pool_.internalKeyLines(), [&](auto lines) { return descend<lines>(key); });
}

NodeHandle BTree::findLeaf(int32_t key) const {
  if (height_ == 0)
    return root_;
  return descendTo(key).leaf;
}

void BTree::get(int32_t key, util::IntPushOperator& op) {
  const NodeHandle leaf = findLeaf(key);
  if (leaf == NodePool::kNoNode) {
    op.thatsallfolks();
    return;
  }
  Leaf(&pool_, leaf).get(key, op);
}

void BTree::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) {
  // An empty range reaches no entry: the chain walk would only confirm it.
  if (root_ == NodePool::kNoNode || lowKey > highKey) {
    op.thatsallfolks();
    return;
  }
  if (height_ == 0) {
    pool_.prefetchLeafEntries(root_);
    Leaf(&pool_, root_).queryRange(lowKey, highKey, op);
    return;
  }
  // The range's next leaves are the siblings that follow here (chain-only leaves aside): the
  // scan asks for them ahead of the chain walk, as far as their separators lie in the range.
  const Descent descent = descendTo(lowKey);
  pool_.prefetchLeafEntries(descent.leaf);
  const ScanAhead ahead{descent.parent.children(), descent.parent.keys(), descent.position + 1,
                        descent.parent.count()};
  Leaf(&pool_, descent.leaf).queryRange(lowKey, highKey, op, ahead);
}

void BTree::remove(int32_t key) {
  remove(key, BTreeConstants::ALL_MAPPINGS);
}

void BTree::remove(int32_t key, int32_t value) {
  if (root_ == NodePool::kNoNode)
    return;
  refreshNeeded_ = true;
  const LeafRoute route = routeToLeaf(key, nullptr);
  pool_.prefetchLeafEntries(route.leaf);
  Leaf(&pool_, route.leaf).remove(key, value, route.lowKey, route.highKey);
}

BTree::LeafRoute BTree::routeToLeaf(int32_t key, std::vector<NodeHandle>* path) const {
  return withKeyLines(pool_.internalKeyLines(), [&](auto lines) {
    const int32_t capacity = pool_.internalCapacity();
    NodeHandle node = root_;
    int32_t lowKey = kMinKey;
    int32_t highKey = kMaxKey;
    for (int32_t level = height_; level > 0; --level) {
      const InternalBlock block = pool_.internalBlock(node);
      pool_.prefetchChildLines(block.data());
      if (path != nullptr)
        path->push_back(node);
      const int32_t pos = childPosition<lines>(block.data(), capacity, key);
      if (pos > 0)
        lowKey = block.keys()[pos - 1];
      if (pos < block.count())
        highKey = block.keys()[pos];
      node = block.children()[pos];
    }
    return LeafRoute{node, lowKey, highKey};
  });
}

int64_t BTree::size() {
  calculateStats();
  return elemCount_;
}

int64_t BTree::getElemCount() {
  calculateStats();
  return elemCount_;
}

int64_t BTree::getLeafCount() {
  calculateStats();
  return leafCount_;
}

double BTree::getLeafUtilization() {
  calculateStats();
  return leafUtilization_;
}

void BTree::printStats() {
  calculateStats();
  std::cout << util::leafStatisticsLine(leafUtilization_, leafCount_, elemCount_);
}

double BTree::leafUtilizationOf(int64_t elements, int64_t leaves, int32_t k_star) {
  return util::leafUtilization(elements, leaves, k_star);
}

void BTree::calculateStats() {
  if (!refreshNeeded_)
    return;
  leafCount_ = 0;
  elemCount_ = 0;
  for (NodeHandle leaf = firstLeaf_; leaf != NodePool::kNoNode;) {
    const LeafBlock block = pool_.leafBlock(leaf);
    ++leafCount_;
    elemCount_ += block.count();
    leaf = block.next();
  }
  leafUtilization_ = leafUtilizationOf(elemCount_, leafCount_, k_star_);
  refreshNeeded_ = false;
}

void BTree::toDot(util::OutputStream& out) {
  // Nodes report their own write failures and return; an IOError caught here comes from
  // one of the tree's own steps, and skips everything after it, flush and close included.
  try {
    out.write("digraph g {\n");
    out.write("node [shape=record,height=.1];\n");
    if (root_ != NodePool::kNoNode)
      rootNode().toDot(out);  // the internal levels (or the root leaf)
    for (Leaf leaf(&pool_, firstLeaf_); leaf; leaf = leaf.getNextLeaf())
      leaf.toDot(out);
    out.write("}\n");
    out.flush();
    out.close();
  } catch (const util::IOError& error) {
    BTreeNode::reportDotFailure(error, "tree");
  }
}

std::optional<std::string> BTree::verify() const {
  return BTreeVerifier(pool_).check(root_, firstLeaf_, height_, refreshNeeded_, leafCount_,
                                    elemCount_);
}

}  // namespace core::btree
