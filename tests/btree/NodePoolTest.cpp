#include "core/btree/NodePool.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "core/btree/BTree.h"
#include "util/BTreeMap.h"

namespace core::btree {
namespace {

// The distance in bytes between two nodes.
std::ptrdiff_t distance(const void* from, const void* to) {
  return static_cast<const std::byte*>(to) - static_cast<const std::byte*>(from);
}

TEST(NodePoolTest, NodesFollowEachOtherInOneChunkWithZeroedEntries) {
  NodePool pool;
  EXPECT_EQ(pool.allocatedBytes(), 0);
  Leaf* first = pool.newLeaf(4);
  Leaf* second = pool.newLeaf(4);
  InternalNode* inner = pool.newInternalNode(3);
  // Each block starts on a cache line: 112 bytes of leaf take two lines.
  ASSERT_EQ(NodePool::leafBlockBytes(4), 112u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % NodePool::kBlockAlignment, 0u);
  EXPECT_EQ(distance(first, second), 128);
  EXPECT_EQ(distance(second, inner), 128);
  // A leaf never written reads key 0 in its first slot: its chain walks compare that slot.
  EXPECT_EQ(second->getEntries().firstKeySlot(), 0);
  EXPECT_EQ(second->getEntries().size(), 0);
  EXPECT_EQ(inner->getEntries().size(), 0);
  EXPECT_EQ(inner->getEntries().nodeAt(0), &InternalNode::NULL_NODE);
  // One chunk of 4 KiB (and a line to align it) so far, plus the two lists.
  EXPECT_GE(pool.allocatedBytes(), 4096 + 64);
  EXPECT_LT(pool.allocatedBytes(), 4096 + 1024);
  EXPECT_EQ(pool.leafCount(), 2);
  EXPECT_EQ(pool.internalNodeCount(), 1);
}

TEST(NodePoolTest, ABlockLargerThanAChunkGetsAChunkOfItsOwn) {
  NodePool pool;
  const int32_t k_star = 4096;  // 2 x 4096 keys and values: 64 KiB of entries alone
  ASSERT_GT(NodePool::leafBlockBytes(k_star), NodePool::kChunkBytes);
  Leaf* big = pool.newLeaf(k_star);
  Leaf* small = pool.newLeaf(1);
  for (int32_t i = 0; i < 2 * k_star - 1; ++i)
    big->add(i, i, INT32_MIN, 0, nullptr, pool);  // fills the big leaf without writing into `small`
  EXPECT_EQ(big->getEntries().size(), 2 * k_star - 1);
  EXPECT_EQ(small->getEntries().size(), 0);
  EXPECT_EQ(small->getEntries().firstKeySlot(), 0);
  EXPECT_GE(pool.allocatedBytes(),
            static_cast<int64_t>(NodePool::leafBlockBytes(k_star) + NodePool::leafBlockBytes(1)));
}

TEST(NodePoolTest, TreeBytesGrowWithItsNodesAndSurviveRemoval) {
  BTree tree(16, 16);
  EXPECT_EQ(tree.allocatedBytes(), 0);
  for (int32_t key = 0; key < 10000; ++key)
    tree.add(key, key);
  const int64_t filled = tree.allocatedBytes();
  const int64_t leaves = tree.getLeafCount();
  // Every leaf block is counted; internal nodes, bookkeeping and the unused end of the last
  // chunk add a bounded share.
  const int64_t leafBytes = leaves * static_cast<int64_t>(NodePool::leafBlockBytes(16));
  EXPECT_GE(filled, leafBytes);
  EXPECT_LT(filled, leafBytes * 3 / 2 + static_cast<int64_t>(NodePool::kChunkBytes));
  for (int32_t key = 0; key < 10000; ++key)
    tree.remove(key);
  EXPECT_EQ(tree.allocatedBytes(), filled);  // nodes are never freed

  util::BTreeMap map(16, 16);
  for (int32_t key = 0; key < 10000; ++key)
    map.insert(key, key);
  EXPECT_EQ(map.allocatedBytes(), filled);
}

}  // namespace
}  // namespace core::btree
