// Arena: blocks of whole 64-byte cache lines for the nodes of one tree, named by 32-bit
// handles.
//
// A handle counts lines from the start of one address range the arena reserves for all its
// blocks: its upper bits pick a chunk slot of kSlotLines lines (2 MiB), its lower bits the
// line inside that slot, and block `handle` lies at base + handle x 64, so resolving a
// handle is a shift and an add, with no table to load. The range covers 2^32 lines
// (256 GiB) where the address space allows, less where it does not (a limit on the address
// space, a checker's smaller one): then the arena runs out of handles sooner. It is mapped
// readable and writable without reserving swap, so that only the pages of blocks handed out
// and written take memory. A chunk lies inside its slot, where a run of the region's chunks
// would have put it, so that chunks do not all meet the same cache sets; one larger than a
// slot starts at its slot's start and takes as many slots as it spans. Handle 0 names no block.
// Every block starts on a line boundary and is not cleared: its owner writes it.
//
// Colours: a region's i-th chunk (of those with free lists) starts i mod kChunkColors lines
// after where it would (kChunkColors lines earlier than that where it would then end past
// its slot), so its line numbers are i mod kChunkColors more than a multiple of
// kChunkColors. Blocks of a power-of-two number of lines (a B+-tree's leaves, four lines each)
// would otherwise start on the same line of every group of that many lines in every chunk,
// so the first line of every block, the one every lookup reads, would fall into a quarter of
// the sets of any cache indexed by address bits and crowd itself out of the cache long
// before the cache is full; with the colours the first lines of different chunks' blocks
// use different sets. It costs nothing: the chunk keeps its size. A huge-page chunk must
// start on its 2 MiB boundary, so it leaves its first i mod kChunkColors lines unused
// instead (up to seven lines of 32768).
//
// Blocks come from one of two regions, each a stream of chunks of its own with its own free
// lists: kBulk (a tree's leaves) and kDense (its inner levels), so that the few MiB a
// descent walks through sit together on few pages instead of among the leaves. A freed
// block goes back to the region of its chunk: it joins the free blocks right before and
// after it, and the unused end of its chunk when it borders on it, and goes onto the
// region's free list of its size in lines. A request takes a free block of exactly its size
// when there is one, else the smallest larger free block (the rest of which stays free),
// else the unused end of the region's current chunk. Blocks larger than kLargeLines get a
// chunk of their own, whose memory goes back to the system when freed.
//
// Chunk sizes: on ordinary pages a region's next chunk is an eighth of what the region
// holds, rounded down to a power of two, between kFirstChunkBytes and kChunkBytes, so a
// small tree holds little and the unused end of the last chunk stays a small share. With
// huge pages (asked for per arena, or for all arenas of a process by useHugePages) the
// chunks double from kFirstChunkBytes up to kHugePageBytes, and every chunk of that size,
// on its own 2 MiB slot, is advised for transparent huge pages. A region's smaller chunks
// (16 KiB + 16 KiB + 32 KiB + ... + 1 MiB: 2 MiB) grow its first chunk in place instead, so
// that they fill one 2 MiB slot; when it is full and the region takes its first 2 MiB chunk,
// the kernel is asked to move that slot onto a huge page too (MADV_COLLAPSE, where the
// kernel has it).
//
// allocatedBytes() is exact: every chunk at its full size (free blocks and unused ends
// included) and the arena's own tables, edge bitmaps included.
//
// The caller says how large a block is when it frees it; freeing a block twice or with
// another size corrupts the arena. Not thread-safe (useHugePages may be called from any
// thread, before the arenas it should reach are made).
#ifndef UTIL_ARENA_H_
#define UTIL_ARENA_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace util {

class Arena {
 public:
  using Handle = uint32_t;

  // Where a block's memory comes from.
  enum class Region : uint8_t { kBulk = 0, kDense = 1 };

  static constexpr size_t kLineBytes = 64;
  static constexpr int kOffsetBits = 15;
  static constexpr uint32_t kSlotLines = uint32_t{1} << kOffsetBits;
  static constexpr size_t kSlotBytes = kSlotLines * kLineBytes;  // 2 MiB
  static constexpr size_t kHugePageBytes = size_t{2} << 20;
  // The largest chunk on ordinary pages, and the first chunk of each region.
  static constexpr size_t kChunkBytes = size_t{512} << 10;
  static constexpr size_t kFirstChunkBytes = size_t{16} << 10;
  // Blocks above this many lines get a chunk of their own.
  static constexpr uint32_t kLargeLines = 1024;
  // The number of chunk colours, in lines (see Colours above).
  static constexpr uint32_t kChunkColors = 8;

  static_assert(kHugePageBytes <= kSlotBytes && kChunkBytes <= kSlotBytes);

  // The huge-page choice of the process (useHugePages).
  Arena();
  explicit Arena(bool hugePages) : hugePages_(hugePages) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();

  // Whether arenas made from now on without an explicit choice use huge pages.
  static void useHugePages(bool on);
  bool hugePages() const { return hugePages_; }

  // A block of `lines` lines (at least one) from `region`, uninitialised. Throws
  // std::bad_alloc when memory or the handles run out.
  Handle allocate(uint64_t lines, Region region = Region::kBulk);
  // Returns the block `handle` of `lines` lines, as allocated, for reuse.
  void free(Handle handle, uint64_t lines);

  // The first byte of block `handle` (not 0).
  [[gnu::always_inline]] std::byte* at(Handle handle) const {
    return base_ + static_cast<size_t>(handle) * kLineBytes;
  }
  template <class T>
  [[gnu::always_inline]] T* as(Handle handle) const {
    return reinterpret_cast<T*>(at(handle));
  }

  // Every byte the arena holds: its chunks, used or not, and its tables.
  int64_t allocatedBytes() const;
  // The bytes of its chunks alone.
  int64_t chunkBytes() const { return chunkBytes_; }
  // The lines of all free blocks (the unused ends of the current chunks not included).
  int64_t freeLines() const { return freeLines_; }

 private:
  static constexpr size_t kRegions = 2;

  // What a free block keeps in its first line; its last line ends with its size too.
  struct FreeBlock {
    Handle next;
    Handle prev;
    uint32_t lines;
  };
  struct Chunk {
    size_t bytes = 0;    // 0: the slot holds no chunk (or is spanned by the one before it)
    uint32_t slots = 0;  // the slots it spans
    uint32_t first = 0;  // the line of its slot it starts at
    Region region = Region::kBulk;
    // One bit per line: set on the first and the last line of every free block.
    std::vector<uint64_t> edges;
  };
  struct Stream {
    Handle tail = 0;  // the unused end of the current chunk
    uint32_t tailLines = 0;
    int64_t bytes = 0;  // the region's chunks
    // heads[n]: the first free block of n lines, or 0; nonEmpty has bit n set when there is one.
    std::vector<Handle> heads;
    std::vector<uint64_t> nonEmpty;
    // Huge pages: the slot of the region's first chunk, which grows in place to 2 MiB, and
    // whether the kernel was asked to put it on a huge page.
    uint32_t firstSlot = 0;
    bool firstSlotCollapsed = false;
    uint32_t chunks = 0;  // chunks with free lists the region has had, which colour them
  };

  // Reserves the arena's address range (on its first chunk).
  void reserve();
  // Grows the region's first chunk in place by `bytes` when huge pages are on and it has
  // room in its slot; false otherwise.
  bool growFirstChunk(Stream& stream, size_t bytes);
  // A new chunk of `bytes` in a free slot (free slots in a row for more than one slot),
  // shifted by `color` lines on ordinary pages (Colours above); returns the handle of its
  // first line.
  Handle newChunk(size_t bytes, Region region, bool withEdges, uint32_t color = 0);
  std::byte* slotAddress(uint32_t slot) const { return base_ + size_t{slot} * kSlotBytes; }
  // The size of the region's next chunk.
  size_t nextChunkBytes(const Stream& stream) const;
  Stream& streamOf(Region region) { return streams_[static_cast<size_t>(region)]; }
  FreeBlock* block(Handle handle) const { return reinterpret_cast<FreeBlock*>(at(handle)); }
  bool isEdge(Handle line) const;
  void setEdge(Handle line, bool on);
  // Puts the block on its list and marks its edges, or takes it off and clears them.
  void link(Stream& stream, Handle handle, uint32_t lines);
  void unlink(Stream& stream, Handle handle, uint32_t lines);
  // The size of the free block whose last line is `line`.
  uint32_t sizeEndingAt(Handle line) const;

  bool hugePages_;
  // The reserved range (nullptr until the first chunk) and the slots it holds.
  std::byte* base_ = nullptr;
  size_t reservedBytes_ = 0;
  uint32_t slotLimit_ = 0;
  // Slot i holds a chunk or nothing; slot 0 is never used, so that no handle is 0. Empty
  // until the first chunk, so that an arena that never allocated holds nothing.
  std::vector<Chunk> chunks_;
  std::vector<uint32_t> emptySlots_;  // slots whose large chunk was returned
  std::array<Stream, kRegions> streams_;
  int64_t chunkBytes_ = 0;
  int64_t edgeBytes_ = 0;
  int64_t freeLines_ = 0;
};

}  // namespace util

#endif  // UTIL_ARENA_H_
