#include "core/btree/NodePool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/btree/BTree.h"
#include "core/btree/InternalNode.h"
#include "core/btree/Leaf.h"
#include "core/btree/NodeLayout.h"
#include "maps/BTreeMap.h"

namespace core::btree {
namespace {

TEST(NodePoolTest, NodesAreFourLinesAtSixteenAndFollowEachOtherFreshlySetUp) {
  NodePool pool(16, 16);
  EXPECT_EQ(pool.leafBlockBytes(), 256u);      // 8-byte header, 31 keys, 31 values
  EXPECT_EQ(pool.internalBlockBytes(), 256u);  // count, 31 keys, 32 child handles
  EXPECT_LT(pool.allocatedBytes(), 64);        // the arena's tables only
  const Leaf first = pool.newLeaf();
  const InternalNode inner = pool.newInternalNode(1);
  const Leaf second = pool.newLeaf();
  const InternalNode inner2 = pool.newInternalNode(2);
  // A handle counts lines: each block starts four lines after the one before of its kind;
  // internal nodes lie in chunks of their own, apart from the leaves.
  EXPECT_EQ(second.handle() - first.handle(), 4u);
  EXPECT_EQ(inner2.handle() - inner.handle(), 4u);
  EXPECT_NE(inner.handle() / util::Arena::kSlotLines, first.handle() / util::Arena::kSlotLines);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pool.block(second.handle())) % 64, 0u);
  // A leaf never written reads key 0 in its first slot: its chain walks compare that slot.
  EXPECT_EQ(second.getEntries().firstKeySlot(), 0);
  EXPECT_EQ(second.getEntries().size(), 0);
  EXPECT_FALSE(second.getNextLeaf());
  EXPECT_EQ(inner.getEntries().size(), 0);
  EXPECT_EQ(inner.getEntries().nodeAt(0), NodePool::kSentinel);
  EXPECT_TRUE(inner.isEmpty());
  // The first chunk of each kind so far, plus the arena's tables.
  const auto twoChunks = static_cast<int64_t>(2 * util::Arena::kFirstChunkBytes);
  EXPECT_GE(pool.allocatedBytes(), twoChunks);
  EXPECT_LT(pool.allocatedBytes(), twoChunks + 1024);
  EXPECT_EQ(pool.leafCount(), 2);
  EXPECT_EQ(pool.internalNodeCount(), 2);
}

// Every field of a block, up to the last child handle and the last value, lies inside the
// ints the block is sized for, whatever the capacity: a field past them would overwrite the
// next block.
TEST(NodePoolTest, EveryFieldLiesInsideItsBlock) {
  for (int32_t capacity : {1, 3, 7, 15, 31, 63, 1000}) {
    std::vector<int32_t> ints(InternalBlock::ints(capacity));
    const InternalBlock node(ints.data(), capacity);
    EXPECT_LE(reinterpret_cast<int32_t*>(node.children() + capacity + 1),
              ints.data() + ints.size());
    EXPECT_LE(node.keys() + capacity, reinterpret_cast<int32_t*>(node.children()));
    std::vector<int32_t> leafInts(LeafBlock::ints(capacity));
    const LeafBlock leaf(leafInts.data(), capacity);
    EXPECT_LE(leaf.values() + capacity, leafInts.data() + leafInts.size());
    EXPECT_LE(leaf.keys() + capacity, leaf.values());
  }
}

TEST(NodePoolTest, ALeafLargerThanAChunkGetsOneOfItsOwn) {
  const int32_t k_star = 1 << 16;  // 2^17 - 1 keys and values: 1 MiB
  NodePool pool(2, k_star);
  const Leaf big = pool.newLeaf();
  const Leaf small = pool.newLeaf();
  for (int32_t i = 0; i < 2 * k_star - 1; ++i)
    ASSERT_FALSE(big.add(i, i, INT32_MIN, INT32_MAX, nullptr));  // fills it, no split
  EXPECT_EQ(big.getEntries().size(), 2 * k_star - 1);
  EXPECT_EQ(small.getEntries().size(), 0);
  EXPECT_EQ(small.getEntries().firstKeySlot(), 0);
  EXPECT_GE(pool.allocatedBytes(), static_cast<int64_t>(2 * pool.leafBlockBytes()));
}

TEST(NodePoolTest, TreeBytesGrowWithItsNodesAndSurviveRemoval) {
  BTree tree(16, 16);
  EXPECT_LT(tree.allocatedBytes(), 64);
  for (int32_t key = 0; key < 10000; ++key)
    tree.add(key, key);
  const int64_t filled = tree.allocatedBytes();
  const int64_t leaves = tree.getLeafCount();
  // Every leaf block is counted; internal nodes, tables and the unused end of the last
  // chunk add a bounded share.
  const int64_t leafBytes = leaves * 256;
  EXPECT_GE(filled, leafBytes);
  EXPECT_LT(filled, leafBytes * 3 / 2 + static_cast<int64_t>(util::Arena::kChunkBytes));
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
