#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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
    // Every handle's block lies where the handle counts lines from the first one's, in
    // whichever chunk it is.
    ASSERT_EQ(arena.at(handle) - arena.at(blocks.empty() ? handle : blocks[0].first),
              (static_cast<int64_t>(handle) - (blocks.empty() ? handle : blocks[0].first)) *
                  static_cast<int64_t>(Arena::kLineBytes));
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
  // A split that leaves one line keeps that line free too.
  const Arena::Handle e = arena.allocate(3);
  arena.allocate(1);  // keeps e from bordering on the unused end
  arena.free(e, 3);
  EXPECT_EQ(arena.allocate(2), e);
  EXPECT_EQ(arena.freeLines(), 1);
  EXPECT_EQ(arena.allocate(1), e + 2);
  EXPECT_EQ(arena.freeLines(), 0);
  // A block next to the unused end of the chunk goes back to it.
  const Arena::Handle end = arena.allocate(1);
  arena.free(end, 1);
  EXPECT_EQ(arena.freeLines(), 0);
  EXPECT_EQ(arena.allocate(1), end);
  EXPECT_NE(d, end);

  // A block that ends its chunk never joins the next chunk's unused start.
  const uint64_t rest = Arena::kFirstChunkBytes / Arena::kLineBytes - (end + 1 - a);
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
  const uint64_t lines = Arena::kSlotLines + 3;  // larger than a whole slot
  const Arena::Handle large = arena.allocate(lines);
  std::memset(arena.at(large), 7, lines * Arena::kLineBytes);
  EXPECT_GE(arena.allocatedBytes() - before, static_cast<int64_t>(lines * Arena::kLineBytes));
  EXPECT_LT(arena.allocatedBytes() - before,
            static_cast<int64_t>(lines * Arena::kLineBytes + 1024));
  arena.free(large, lines);
  // The chunk's bytes are gone; the tables keep an entry for each of its two slots.
  EXPECT_LT(arena.allocatedBytes(), before + 256);
  // The slot is used again, and the small block is untouched.
  const Arena::Handle again = arena.allocate(Arena::kLargeLines + 1);
  EXPECT_EQ(again, large);
  EXPECT_NE(small, large);
  arena.free(again, Arena::kLargeLines + 1);
}

// Fills an arena far past its first chunks (both regions, blocks of 1 to 7 lines, a few
// freed and taken again) on ordinary and on huge pages, and checks what every chunk size and
// place must keep: no two blocks share a handle or a byte, every block keeps what was
// written to it, chunks never exceed their slot nor (on ordinary pages) kChunkBytes, huge
// page chunks start on 2 MiB boundaries and hold all but the first 2 MiB of each region,
// whose smaller chunks grow one 2 MiB slot, and allocatedBytes() counts the chunks, their edge
// bitmaps and the tables.
class ArenaChunksTest : public ::testing::TestWithParam<bool> {};

TEST_P(ArenaChunksTest, ChunksStayInTheirSlotsAndEveryByteIsCounted) {
  const bool huge = GetParam();
  Arena arena(huge);
  struct Block {
    Arena::Handle handle;
    uint32_t lines;
    Arena::Region region;
  };
  std::vector<Block> blocks;
  std::set<Arena::Handle> handles;
  std::set<uint32_t> slots[2];
  int64_t usedLines = 0;
  int64_t hugeChunkBytes = 0;
  std::set<uintptr_t> firstPages[2];
  // The line number of each new chunk's first block, modulo the colours, per region.
  std::vector<uint32_t> colors[2];
  const int64_t target = int64_t{40} << 20;
  for (uint32_t i = 0; arena.chunkBytes() < target; ++i) {
    const uint32_t lines = 1 + i % 7;
    // One block in eight from the dense region, as a tree's inner levels.
    const Arena::Region region = i % 8 == 0 ? Arena::Region::kDense : Arena::Region::kBulk;
    const int64_t before = arena.chunkBytes();
    const Arena::Handle handle = arena.allocate(lines, region);
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(handles.insert(handle).second) << "handle " << handle << " given twice";
    if (const int64_t grown = arena.chunkBytes() - before; grown > 0) {
      // A new chunk, whose first line this block is (after its colour's unused lines on huge
      // pages), or (on huge pages) the region's first chunk grown in place: inside its slot
      // either way.
      const uint32_t color = huge ? handle % Arena::kChunkColors : 0;
      ASSERT_LE(handle % Arena::kSlotLines - color + grown / Arena::kLineBytes, Arena::kSlotLines);
      ASSERT_LE(grown, static_cast<int64_t>(huge ? Arena::kHugePageBytes : Arena::kChunkBytes));
      ASSERT_GE(grown, static_cast<int64_t>(Arena::kFirstChunkBytes));
      const uintptr_t address = reinterpret_cast<uintptr_t>(arena.at(handle));
      if (grown == static_cast<int64_t>(Arena::kHugePageBytes)) {
        ASSERT_EQ(address % Arena::kHugePageBytes, color * Arena::kLineBytes);
        hugeChunkBytes += grown;
      } else if (huge) {
        // The smaller chunks share one 2 MiB page per region, which can become a huge one.
        firstPages[static_cast<int>(region)].insert(address / Arena::kHugePageBytes);
      }
      // Every chunk but a huge-page region's first, which grows in place, has a colour.
      if (!huge || grown == static_cast<int64_t>(Arena::kHugePageBytes))
        colors[static_cast<int>(region)].push_back(handle % Arena::kChunkColors);
    }
    slots[static_cast<int>(region)].insert(handle / Arena::kSlotLines);
    std::memset(arena.at(handle), static_cast<int>(i % 251), lines * Arena::kLineBytes);
    blocks.push_back({handle, lines, region});
    usedLines += lines;
    if (i % 64 == 63) {  // free one and take its size again: the same block comes back
      const Block freed = blocks[i - 40];
      arena.free(freed.handle, freed.lines);
      ASSERT_EQ(arena.allocate(freed.lines, freed.region), freed.handle);
      std::memset(arena.at(freed.handle), static_cast<int>((i - 40) % 251),
                  freed.lines * Arena::kLineBytes);
    }
  }
  for (uint32_t i = 0; i < blocks.size(); ++i) {
    const std::byte* block = arena.at(blocks[i].handle);
    const size_t bytes = blocks[i].lines * Arena::kLineBytes;
    ASSERT_EQ(block[0], std::byte(i % 251)) << i;
    ASSERT_EQ(block[bytes - 1], std::byte(i % 251)) << i;
  }
  // No two blocks overlap in memory.
  std::vector<std::pair<uintptr_t, size_t>> spans;
  for (const Block& block : blocks)
    spans.emplace_back(reinterpret_cast<uintptr_t>(arena.at(block.handle)),
                       block.lines * Arena::kLineBytes);
  std::sort(spans.begin(), spans.end());
  for (size_t i = 1; i < spans.size(); ++i)
    ASSERT_LE(spans[i - 1].first + spans[i - 1].second, spans[i].first);
  // Successive chunks of a region start their blocks on successive colours, so that blocks
  // of a power-of-two number of lines start on every line of such a group.
  ASSERT_GE(colors[0].size(), Arena::kChunkColors);
  for (const std::vector<uint32_t>& region : colors) {
    ASSERT_GE(region.size(), 2u);
    for (size_t i = 1; i < region.size(); ++i)
      EXPECT_EQ(region[i], (region[i - 1] + 1) % Arena::kChunkColors) << i;
  }
  // The regions never share a chunk.
  for (uint32_t slot : slots[1])
    EXPECT_EQ(slots[0].count(slot), 0u) << slot;

  const int64_t chunks = arena.chunkBytes();
  EXPECT_GE(chunks, usedLines * static_cast<int64_t>(Arena::kLineBytes));
  if (huge) {
    // All but each region's first 2 MiB in huge-page chunks.
    EXPECT_GE(hugeChunkBytes, chunks - 2 * static_cast<int64_t>(Arena::kHugePageBytes));
    EXPECT_EQ(firstPages[0].size(), 1u);
    EXPECT_EQ(firstPages[1].size(), 1u);
  } else {
    // The unused end of the last chunks stays a small share.
    EXPECT_LT(chunks - usedLines * static_cast<int64_t>(Arena::kLineBytes), chunks / 8);
  }
  // One edge bit per line of every chunk, and tables of a few bytes per chunk.
  const int64_t edges = chunks / static_cast<int64_t>(Arena::kLineBytes) / 8;
  EXPECT_GE(arena.allocatedBytes() - chunks, edges);
  EXPECT_LT(arena.allocatedBytes() - chunks, edges + 16384);
}

INSTANTIATE_TEST_SUITE_P(Pages, ArenaChunksTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "HugePages" : "OrdinaryPages";
                         });

}  // namespace
}  // namespace util
