#include "core/btree/BTreeVerifier.h"

#include <limits>

#include "core/btree/InternalNodeArrayMap.h"
#include "core/btree/LeafArrayMap.h"

namespace core::btree {

namespace {

constexpr int64_t kOpenLow = std::numeric_limits<int32_t>::min();
constexpr int64_t kOpenHigh = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;

std::string name(NodeHandle node) {
  return "nodeX" + std::to_string(static_cast<int32_t>(node));
}

std::string interval(int64_t low, int64_t high) {
  return "[" + std::to_string(low) + ", " + std::to_string(high) + ")";
}

}  // namespace

BTreeVerifier::BTreeVerifier(const NodePool& pool) : pool_(pool) {}

NodeHandle BTreeVerifier::nextLeaf(NodeHandle leaf) const {
  return pool_.leafBlock(leaf).next();
}

std::optional<std::string> BTreeVerifier::check(NodeHandle root, NodeHandle firstLeaf,
                                                int32_t height, bool statsStale, int64_t leafCount,
                                                int64_t elemCount) {
  if ((root == NodePool::kNoNode) != (firstLeaf == NodePool::kNoNode))
    return std::string("the root and the first leaf must be set together");
  if (root != NodePool::kNoNode) {
    if (auto problem = collectChain(firstLeaf))
      return problem;
    if (auto problem = checkSubtree(root, kOpenLow, kOpenHigh, 0, height))
      return problem;
    if (leafDepth_ != height) {
      return "the tree records " + std::to_string(height) +
             " internal levels, its leaves lie at depth " + std::to_string(leafDepth_);
    }
    if (referenced_.front().leaf != firstLeaf)
      return "the first leaf " + name(firstLeaf) + " is not the leftmost leaf of the tree";
    if (auto problem = checkChain(firstLeaf))
      return problem;
  }
  if (!statsStale && (leafCount != chainLeafCount_ || elemCount != chainEntries_)) {
    return "cached statistics say " + std::to_string(leafCount) + " leaves and " +
           std::to_string(elemCount) + " entries, the chain has " +
           std::to_string(chainLeafCount_) + " and " + std::to_string(chainEntries_);
  }
  return std::nullopt;
}

std::optional<std::string> BTreeVerifier::collectChain(NodeHandle firstLeaf) {
  for (NodeHandle leaf = firstLeaf; leaf != NodePool::kNoNode; leaf = nextLeaf(leaf)) {
    if (leaf == NodePool::kSentinel)
      return std::string("the sentinel NULL_NODE is linked into the leaf chain");
    if (!chainLeaves_.insert(leaf).second ||
        static_cast<int64_t>(chainLeaves_.size()) > pool_.leafCount())
      return std::string("the leaf chain forms a cycle");
  }
  return std::nullopt;
}

std::optional<std::string> BTreeVerifier::checkSubtree(NodeHandle node, int64_t low, int64_t high,
                                                       int64_t depth, int32_t height) {
  if (node == NodePool::kNoNode)
    return std::string("a child slot in use is empty");
  if (node == NodePool::kSentinel)
    return std::string("the sentinel NULL_NODE is used as a child");
  if (depth > pool_.internalNodeCount())
    return std::string("the internal nodes form a cycle");
  // A block on the chain is a leaf; so is any node where the tree expects its leaves (one
  // that is not on the chain is reported below).
  if (chainLeaves_.count(node) != 0 || depth >= height) {
    if (leafDepth_ >= 0 && depth != leafDepth_) {
      return "leaf " + name(node) + " lies at depth " + std::to_string(depth) +
             ", other leaves at depth " + std::to_string(leafDepth_);
    }
    leafDepth_ = depth;
    if (!referencedIndex_.emplace(node, referenced_.size()).second)
      return "leaf " + name(node) + " is referenced twice";
    referenced_.push_back({node, low, high});
    return std::nullopt;
  }

  const InternalNodeArrayMap entries(pool_.internalBlock(node));
  const int32_t n = entries.size();
  if (n < 1 || n > pool_.internalCapacity()) {
    return "internal node " + name(node) + " holds " + std::to_string(n) +
           " keys, allowed are 1 to " + std::to_string(pool_.internalCapacity());
  }
  for (int32_t i = 0; i < n; ++i) {
    const int32_t key = entries.keyAt(i);
    if (i > 0 && key <= entries.keyAt(i - 1))
      return "internal node " + name(node) + ": keys are not strictly increasing at " +
             std::to_string(i);
    if (key < low || key >= high)
      return "internal node " + name(node) + ": separator " + std::to_string(key) +
             " lies outside its subtree " + interval(low, high);
  }
  const bool leafChildren = chainLeaves_.count(entries.nodeAt(0)) != 0;
  for (int32_t pos = 0; pos <= n; ++pos) {
    const NodeHandle child = entries.nodeAt(pos);
    if (child != NodePool::kNoNode && (chainLeaves_.count(child) != 0) != leafChildren)
      return "internal node " + name(node) + " mixes leaves and internal nodes as children";
    const int64_t childLow = pos == 0 ? low : entries.keyAt(pos - 1);
    const int64_t childHigh = pos == n ? high : entries.keyAt(pos);
    if (auto problem = checkSubtree(child, childLow, childHigh, depth + 1, height))
      return problem;
  }
  return std::nullopt;
}

std::optional<std::string> BTreeVerifier::checkChain(NodeHandle firstLeaf) {
  size_t nextReferenced = 0;
  const ReferencedLeaf* subtree = nullptr;
  for (NodeHandle leaf = firstLeaf; leaf != NodePool::kNoNode; leaf = nextLeaf(leaf)) {
    ++chainLeafCount_;
    const auto found = referencedIndex_.find(leaf);
    const bool referenced = found != referencedIndex_.end();
    if (referenced) {
      if (found->second != nextReferenced) {
        return "leaf " + name(leaf) +
               " appears on the chain out of the order of the internal nodes";
      }
      subtree = &referenced_[nextReferenced++];
    }
    if (auto problem = checkLeaf(leaf, *subtree, referenced))
      return problem;
    chainEntries_ += pool_.leafBlock(leaf).count();
  }
  if (nextReferenced != referenced_.size())
    return "leaf " + name(referenced_[nextReferenced].leaf) + " is not on the leaf chain";
  return std::nullopt;
}

std::optional<std::string> BTreeVerifier::checkLeaf(NodeHandle leaf, const ReferencedLeaf& subtree,
                                                    bool referenced) {
  const LeafArrayMap entries(pool_.leafBlock(leaf));
  const int32_t n = entries.size();
  if (n < 0 || n > pool_.leafCapacity()) {
    return "leaf " + name(leaf) + " holds " + std::to_string(n) + " entries, at most " +
           std::to_string(pool_.leafCapacity()) + " are allowed at rest";
  }
  // Insertions and removals walk into a following leaf while its first key slot lies below
  // their subtree's upper bound, also when that leaf is empty. So a referenced leaf's slot
  // must stop the walks of the subtree before it, and a chain-only leaf's slot must let
  // the walks of its own subtree in.
  const int32_t slot = entries.firstKeySlot();
  if (referenced && leaf != referenced_.front().leaf && slot < subtree.low) {
    return "leaf " + name(leaf) + ": first key slot " + std::to_string(slot) +
           " lies below its subtree " + interval(subtree.low, subtree.high);
  }
  if (!referenced && slot >= subtree.high) {
    return "chain-only leaf " + name(leaf) + ": first key slot " + std::to_string(slot) +
           " does not lie below the bound " + std::to_string(subtree.high);
  }
  for (int32_t i = 0; i < n; ++i) {
    const int32_t key = entries.keyAt(i);
    if (largestKeySoFar_ && key < *largestKeySoFar_) {
      return "leaf " + name(leaf) + ": key " + std::to_string(key) + " at position " +
             std::to_string(i) + " is below the key " + std::to_string(*largestKeySoFar_) +
             " before it on the chain";
    }
    if (key < subtree.low || key >= subtree.high) {
      return "leaf " + name(leaf) + ": key " + std::to_string(key) + " lies outside its subtree " +
             interval(subtree.low, subtree.high);
    }
    largestKeySoFar_ = key;
  }
  return std::nullopt;
}

}  // namespace core::btree
