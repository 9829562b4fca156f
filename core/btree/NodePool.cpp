#include "core/btree/NodePool.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

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
  // The chunks are freed after this body, once every node in them has been destroyed.
  for (BTreeNode* node : nodes_)
    std::destroy_at(node);
}

std::byte* NodePool::allocate(size_t bytes) {
  // Make room in the lists first, so that registering the node cannot fail once built.
  if (nodes_.size() == nodes_.capacity())
    nodes_.reserve(2 * nodes_.size() + 16);
  if (chunks_.size() == chunks_.capacity())
    chunks_.reserve(2 * chunks_.size() + 16);
  bytes = alignUp(bytes, kBlockAlignment);
  if (bytes > freeBytes_) {
    // The rest of the current chunk stays unused: blocks are never split across chunks.
    // Chunks grow from 4 KiB, so that a small tree stays small.
    const size_t size = std::max(bytes, std::min(kChunkBytes, size_t{4096} << chunks_.size()));
    // Value-initialised: zero keys and values, as in a fresh array. One alignment more than
    // needed, so that the first block can start on a line.
    std::byte* chunk =
        chunks_.emplace_back(std::make_unique<std::byte[]>(size + kBlockAlignment)).get();
    const auto address = reinterpret_cast<uintptr_t>(chunk);
    free_ = chunk + (alignUp(address, kBlockAlignment) - address);
    freeBytes_ = size;
    chunkBytes_ += static_cast<int64_t>(size + kBlockAlignment);
  }
  std::byte* block = free_;
  free_ += bytes;
  freeBytes_ -= bytes;
  return block;
}

Leaf* NodePool::newLeaf(int32_t k_star) {
  std::byte* block = allocate(leafBlockBytes(k_star));  // the leaf, 2 x k_star keys, the values
  auto* storage = reinterpret_cast<int32_t*>(block + sizeof(Leaf));
  Leaf* leaf = std::construct_at(reinterpret_cast<Leaf*>(block), k_star, storage);
  adopt(leaf);
  ++leafCount_;
  return leaf;
}

std::pair<std::byte*, InternalNodeArrayMap::Storage> NodePool::allocateInternalNode(int32_t k) {
  // The keys right behind the node, then the children, aligned for pointers.
  const size_t childrenOffset = internalChildrenOffset(k);
  std::byte* block = allocate(internalNodeBlockBytes(k));
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
