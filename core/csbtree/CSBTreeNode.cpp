#include "core/csbtree/CSBTreeNode.h"

#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/Lookup.h"
#include "core/csbtree/NodeGroup.h"

namespace core::csbtree {

std::optional<SplitInfo> CSBTreeNode::add(int32_t index, int32_t key, int32_t value,
                                          bool parentFull, int32_t lowKey, int32_t highKey,
                                          LeafCarrier* carrier) {
  util::SplitRule positional;
  return add(index, key, value, parentFull, lowKey, highKey, carrier, positional);
}

std::optional<SplitInfo> CSBTreeNode::add(int32_t index, int32_t key, int32_t value,
                                          bool parentFull, int32_t lowKey, int32_t highKey,
                                          LeafCarrier* carrier, util::SplitRule& rule) {
  std::optional<SplitInfo> grown =
      isLeaf() ? LeafGroup(*store_, handle_)
                     .add(index, key, value, parentFull, lowKey, highKey, carrier, rule)
               : NodeGroup(*store_, handle_)
                     .add(index, key, value, parentFull, lowKey, highKey, carrier, rule);
  if (grown)
    handle_ = grown->leftNode.handle();  // the group has moved
  return grown;
}

void CSBTreeNode::get(int32_t index, int32_t key, util::IntPushOperator& op) const {
  lookupValues(*store_, handle_, index, key, op);
}

bool CSBTreeNode::isEmpty() const {
  return isNull() || store_->header(handle_)->members == 0;
}

bool CSBTreeNode::isFull(int32_t index) const {
  return isLeaf() ? LeafGroup(*store_, handle_).isFull(index)
                  : NodeGroup(*store_, handle_).isFull(index);
}

void CSBTreeNode::queryRange(int32_t index, int32_t lowKey, int32_t highKey,
                             util::IntPushOperator& op) const {
  lookupRange(*store_, handle_, index, lowKey, highKey, op);
}

void CSBTreeNode::remove(int32_t index, int32_t key, int32_t value, int32_t lowKey,
                         int32_t highKey) const {
  if (isLeaf())
    LeafGroup(*store_, handle_).remove(index, key, value, lowKey, highKey);
  else
    NodeGroup(*store_, handle_).remove(index, key, value, lowKey, highKey);
}

void CSBTreeNode::toDot(util::OutputStream& out) const {
  if (isLeaf())
    LeafGroup(*store_, handle_).toDot(out);
  else
    NodeGroup(*store_, handle_).toDot(out);
}

}  // namespace core::csbtree
