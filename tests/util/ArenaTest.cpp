#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <vector>

#include "util/Arena.h"

namespace util {
namespace {

TEST(ArenaTest, BlocksAreDistinctLineAlignedAndReusedBySizeOnlyAfterFree) {
  Arena arena;
  EXPECT_EQ(arena.allocatedBytes(), 0);
  std::set<Arena::Handle> handles;
  std::vector<std::pair<Arena::Handle, uint32_t>> blocks;
  // More than the first chunks hold, in blocks of 1 to 7 lines, each filled with its number.
  for (uint32_t i = 0; i < 3000; ++i) {
    const uint32_t lines = 1 + i % 7;
    const Arena::Handle handle = arena.allocate(lines);
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(handles.insert(handle).second);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(arena.at(handle)) % Arena::kLineBytes, 0u);
    std::memset(arena.at(handle), static_cast<int>(i % 251), lines * Arena::kLineBytes);
    blocks.emplace_back(handle, lines);
  }
  for (uint32_t i = 0; i < blocks.size(); ++i) {
    const auto [handle, lines] = blocks[i];
    const std::byte* block = arena.at(handle);
    ASSERT_EQ(block[0], std::byte(i % 251));
    ASSERT_EQ(block[lines * Arena::kLineBytes - 1], std::byte(i % 251)) << i;
  }
  const int64_t bytes = arena.allocatedBytes();
  EXPECT_GE(bytes, 3000 * 4 * 64);
  EXPECT_LT(bytes, 3000 * 4 * 64 + 3 * static_cast<int64_t>(Arena::kChunkBytes));

  // A freed block comes back for its own size only, last freed first.
  arena.free(blocks[3].first, 4);
  arena.free(blocks[10].first, 4);
  EXPECT_NE(arena.allocate(5), blocks[3].first);
  EXPECT_EQ(arena.allocate(4), blocks[10].first);
  EXPECT_EQ(arena.allocate(4), blocks[3].first);
}

TEST(ArenaTest, FreedNeighboursJoinAndLargerFreeBlocksAreSplit) {
  Arena arena;
  const Arena::Handle a = arena.allocate(2);
  const Arena::Handle b = arena.allocate(3);
  const Arena::Handle c = arena.allocate(4);
  const Arena::Handle d = arena.allocate(1);
  ASSERT_EQ(b, a + 2);
  ASSERT_EQ(c, b + 3);
  arena.free(a, 2);
  arena.free(c, 4);
  arena.free(b, 3);
  EXPECT_EQ(arena.freeLines(), 9);
  // One free block of 9 lines: a request for 5 takes its start, the rest stays free.
  EXPECT_EQ(arena.allocate(5), a);
  EXPECT_EQ(arena.freeLines(), 4);
  EXPECT_EQ(arena.allocate(4), a + 5);
  EXPECT_EQ(arena.freeLines(), 0);
  // A block next to the unused end of the chunk goes back to it.
  arena.free(d, 1);
  EXPECT_EQ(arena.freeLines(), 0);
  EXPECT_EQ(arena.allocate(1), d);

  // A block that ends its chunk never joins the next chunk's unused start.
  const uint64_t rest = Arena::kFirstChunkBytes / Arena::kLineBytes - 10;
  const Arena::Handle last = arena.allocate(rest);
  const Arena::Handle next = arena.allocate(1);  // a new chunk
  arena.free(last, rest);
  EXPECT_EQ(arena.freeLines(), static_cast<int64_t>(rest));
  EXPECT_EQ(arena.allocate(1), last);  // a free block goes before the unused end
  EXPECT_NE(next, last + rest);
}

TEST(ArenaTest, LargeBlocksHaveChunksOfTheirOwnThatFreeingReturns) {
  Arena arena;
  const Arena::Handle small = arena.allocate(1);
  const int64_t before = arena.allocatedBytes();
  const uint64_t lines = Arena::kChunkLines + 3;  // larger than a whole chunk
  const Arena::Handle large = arena.allocate(lines);
  std::memset(arena.at(large), 7, lines * Arena::kLineBytes);
  EXPECT_GE(arena.allocatedBytes() - before, static_cast<int64_t>(lines * Arena::kLineBytes));
  EXPECT_LT(arena.allocatedBytes() - before,
            static_cast<int64_t>(lines * Arena::kLineBytes + 1024));
  arena.free(large, lines);
  EXPECT_LT(arena.allocatedBytes(), before + 64);
  // The slot is used again, and the small block is untouched.
  const Arena::Handle again = arena.allocate(Arena::kLargeLines + 1);
  EXPECT_EQ(again, large);
  EXPECT_NE(small, large);
  arena.free(again, Arena::kLargeLines + 1);
}

}  // namespace
}  // namespace util
