#include "core/btree/NodePool.h"

#include <cassert>

#include "core/btree/BTreeConstants.h"
#include "core/btree/InternalNode.h"
#include "core/btree/InternalNodeArrayMap.h"
#include "core/btree/Leaf.h"
#include "core/btree/LeafArrayMap.h"

namespace core::btree {

namespace {

uint32_t linesFor(size_t ints) {
  const size_t bytes = ints * sizeof(int32_t);
  return static_cast<uint32_t>((bytes + util::Arena::kLineBytes - 1) / util::Arena::kLineBytes);
}

}  // namespace

NodePool::NodePool(int32_t k, int32_t k_star)
    : k_(k),
      k_star_(k_star),
      leafLines_(linesFor(LeafArrayMap::blockInts(leafCapacity()))),
      internalLines_(linesFor(InternalNodeArrayMap::blockInts(internalCapacity()))),
      internalKeyLines_(internalKeyLinesFor(internalCapacity())) {
  // Children 0 .. capacity follow the count and the keys.
  const auto lineOf = [](size_t ints) {
    return static_cast<uint32_t>(ints * sizeof(int32_t) / util::Arena::kLineBytes *
                                 util::Arena::kLineBytes);
  };
  const size_t firstChild = kInternalHeaderInts + static_cast<size_t>(internalCapacity());
  firstChildLineBytes_ = lineOf(firstChild);
  lastChildLineBytes_ = lineOf(firstChild + static_cast<size_t>(internalCapacity()));
  assert(k >= BTreeConstants::kMinK && k <= BTreeConstants::kMaxParameter);
  assert(k_star >= BTreeConstants::kMinKStar && k_star <= BTreeConstants::kMaxParameter);
}

NodeHandle NodePool::allocate(uint32_t lines, util::Arena::Region region) {
  NodeHandle handle = arena_.allocate(lines, region);
  if (handle == kSentinel)  // the very last line of the handle space: left unused
    handle = arena_.allocate(lines, region);
  return handle;
}

Leaf NodePool::newLeaf() {
  const NodeHandle handle = allocate(leafLines_, util::Arena::Region::kBulk);
  LeafArrayMap::initialize(block(handle), leafCapacity());
  ++leafCount_;
  return Leaf(this, handle);
}

InternalNode NodePool::newInternalNode(int32_t level) {
  const NodeHandle handle = allocate(internalLines_, util::Arena::Region::kDense);
  InternalNodeArrayMap::initialize(block(handle), internalCapacity());
  ++internalNodeCount_;
  return InternalNode(this, handle, level);
}

InternalNode NodePool::newInternalNode(const BTreeNode& left, int32_t key, const BTreeNode& right) {
  InternalNode node = newInternalNode(left.level() + 1);
  InternalNodeArrayMap entries = node.getEntries();
  entries.setFirstChild(left.handle());
  entries.put(key, right.handle());
  return node;
}

}  // namespace core::btree
