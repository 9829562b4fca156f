#include "core/btree/BTreeNode.h"

#include <iostream>

#include "core/btree/InternalNode.h"
#include "core/btree/Leaf.h"

namespace core::btree {

// Each operation goes to the leaf or the internal node this names, by its level.

std::optional<SplitInfo> BTreeNode::add(int32_t key, int32_t value, int32_t lowKey, int32_t highKey,
                                        LeafCarrier* carrier) const {
  if (isLeaf())
    return Leaf(pool_, handle_).add(key, value, lowKey, highKey, carrier);
  return InternalNode(pool_, handle_, level_).add(key, value, lowKey, highKey, carrier);
}

void BTreeNode::get(int32_t key, util::IntPushOperator& op) const {
  if (isLeaf())
    Leaf(pool_, handle_).get(key, op);
  else
    InternalNode(pool_, handle_, level_).get(key, op);
}

bool BTreeNode::isEmpty() const {
  if (isLeaf())
    return Leaf(pool_, handle_).isEmpty();
  return InternalNode(pool_, handle_, level_).isEmpty();
}

void BTreeNode::queryRange(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) const {
  if (isLeaf())
    Leaf(pool_, handle_).queryRange(lowKey, highKey, op);
  else
    InternalNode(pool_, handle_, level_).queryRange(lowKey, highKey, op);
}

void BTreeNode::remove(int32_t key, int32_t value, int32_t lowKey, int32_t highKey) const {
  if (isLeaf())
    Leaf(pool_, handle_).remove(key, value, lowKey, highKey);
  else
    InternalNode(pool_, handle_, level_).remove(key, value, lowKey, highKey);
}

void BTreeNode::toDot(util::OutputStream& out) const {
  if (isLeaf())
    Leaf(pool_, handle_).toDot(out);
  else
    InternalNode(pool_, handle_, level_).toDot(out);
}

std::string BTreeNode::toString() const {
  if (isLeaf())
    return Leaf(pool_, handle_).toString();
  return InternalNode(pool_, handle_, level_).toString();
}

void BTreeNode::reportDotFailure(const std::exception& error, const std::string& where) {
  std::cout << "could not write dotty" << std::endl;
  std::cerr << "could not write dotty: " << error.what() << " (" << where << ")" << std::endl;
}

}  // namespace core::btree
