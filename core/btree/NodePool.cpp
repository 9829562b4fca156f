#include "core/btree/NodePool.h"

#include <memory>
#include <new>

#include "core/btree/BTreeConstants.h"
#include "core/btree/InternalNode.h"
#include "core/btree/Leaf.h"

namespace core::btree {

namespace {

static_assert(alignof(Leaf) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
static_assert(alignof(InternalNode) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
static_assert(sizeof(Leaf) % alignof(int32_t) == 0);

}  // namespace

NodePool::NodePool() = default;

NodePool::~NodePool() {
  // The blocks are freed after this body, once every node in them has been destroyed.
  for (BTreeNode* node : nodes_)
    std::destroy_at(node);
}

std::byte* NodePool::allocate(size_t nodeBytes, size_t arrayBytes) {
  // Make room in both lists first, so that registering the node cannot fail once built.
  if (nodes_.size() == nodes_.capacity()) {
    nodes_.reserve(2 * nodes_.size() + 16);
    blocks_.reserve(nodes_.capacity());
  }
  // Value-initialised: zero keys and values, as in a fresh array.
  return blocks_.emplace_back(std::make_unique<std::byte[]>(nodeBytes + arrayBytes)).get();
}

Leaf* NodePool::newLeaf(int32_t k_star) {
  BTreeConstants::checkKStar(k_star);
  // 2 x k_star keys, then the values
  std::byte* block = allocate(sizeof(Leaf), leafBlockBytes(k_star) - sizeof(Leaf));
  auto* storage = reinterpret_cast<int32_t*>(block + sizeof(Leaf));
  Leaf* leaf = std::construct_at(reinterpret_cast<Leaf*>(block), k_star, storage);
  adopt(leaf);
  ++leafCount_;
  return leaf;
}

std::pair<std::byte*, InternalNodeArrayMap::Storage> NodePool::allocateInternalNode(int32_t k) {
  BTreeConstants::checkK(k);
  // The keys right behind the node, then the children, aligned for pointers.
  const size_t childrenOffset = internalChildrenOffset(k);
  std::byte* block =
      allocate(sizeof(InternalNode), internalNodeBlockBytes(k) - sizeof(InternalNode));
  return {block,
          {reinterpret_cast<int32_t*>(block + sizeof(InternalNode)),
           reinterpret_cast<BTreeNode**>(block + childrenOffset)}};
}

InternalNode* NodePool::newInternalNode(int32_t k) {
  const auto [block, storage] = allocateInternalNode(k);
  InternalNode* node = std::construct_at(reinterpret_cast<InternalNode*>(block), k, storage);
  adopt(node);
  ++internalNodeCount_;
  return node;
}

InternalNode* NodePool::newInternalNode(BTreeNode* left, int32_t key, BTreeNode* right, int32_t k) {
  const auto [block, storage] = allocateInternalNode(k);
  InternalNode* node =
      std::construct_at(reinterpret_cast<InternalNode*>(block), left, key, right, k, storage);
  adopt(node);
  ++internalNodeCount_;
  return node;
}

}  // namespace core::btree
