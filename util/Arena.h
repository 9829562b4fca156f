// Arena: blocks of whole 64-byte cache lines for the nodes of one tree, named by 32-bit
// handles.
//
// Blocks are carved from large chunks obtained from malloc (so a process that asks malloc
// for huge pages gets them here too). A handle counts lines: its upper bits pick a chunk slot
// of kChunkLines lines, its lower bits the line inside that slot, so 2^32 lines (256 GiB) are
// addressable and resolving a handle costs one load from a small table. Handle 0 names no
// block. Every block starts on a line boundary and is not cleared: its owner writes it.
//
// A freed block joins the free blocks right before and after it, and the unused end of its
// chunk when it borders on it, and goes onto the free list of its size in lines. A request
// takes a free block of exactly its size when there is one, else the smallest larger free
// block (the rest of which stays free), else the unused end of the current chunk. Blocks
// larger than kLargeLines get a chunk of their own, which is returned to malloc when freed.
// The chunks grow from kFirstChunkBytes to kChunkBytes, so a small tree holds little.
// allocatedBytes() is exact: every chunk at its full size (free blocks and unused ends
// included) and the arena's own tables.
//
// The caller says how large a block is when it frees it; freeing a block twice or with
// another size corrupts the arena. Not thread-safe.
#ifndef UTIL_ARENA_H_
#define UTIL_ARENA_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace util {

class Arena {
 public:
  using Handle = uint32_t;

  static constexpr size_t kLineBytes = 64;
  static constexpr int kOffsetBits = 13;
  static constexpr uint32_t kChunkLines = uint32_t{1} << kOffsetBits;
  static constexpr size_t kChunkBytes = kChunkLines * kLineBytes;  // 512 KiB
  static constexpr size_t kFirstChunkBytes = size_t{16} << 10;
  // Blocks above this many lines get a chunk of their own.
  static constexpr uint32_t kLargeLines = kChunkLines / 8;

  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();

  // A block of `lines` lines (at least one), uninitialised. Throws std::bad_alloc when malloc
  // fails or the handles run out.
  Handle allocate(uint64_t lines);
  // Returns the block `handle` of `lines` lines, as allocated, for reuse.
  void free(Handle handle, uint64_t lines);

  // The first byte of block `handle` (not 0).
  std::byte* at(Handle handle) const {
    return bases_[handle >> kOffsetBits] +
           (static_cast<size_t>(handle & (kChunkLines - 1)) * kLineBytes);
  }
  template <class T>
  T* as(Handle handle) const {
    return reinterpret_cast<T*>(at(handle));
  }

  // Every byte the arena holds from malloc: its chunks, used or not, and its tables.
  int64_t allocatedBytes() const;
  // The lines of all free blocks (the unused end of the current chunk not included).
  int64_t freeLines() const { return freeLines_; }

 private:
  // What a free block keeps in its first line; its last line ends with its size too.
  struct FreeBlock {
    Handle next;
    Handle prev;
    uint32_t lines;
  };
  struct Chunk {
    std::byte* memory = nullptr;
    size_t bytes = 0;
    // One bit per line: set on the first and the last line of every free block.
    std::vector<uint64_t> edges;
  };

  // A new chunk of `bytes` in a free slot; returns the slot.
  uint32_t newChunk(size_t bytes, bool withEdges);
  FreeBlock* block(Handle handle) const { return reinterpret_cast<FreeBlock*>(at(handle)); }
  bool isEdge(Handle line) const;
  void setEdge(Handle line, bool on);
  // Puts the block on its list and marks its edges, or takes it off and clears them.
  void link(Handle handle, uint32_t lines);
  void unlink(Handle handle, uint32_t lines);
  // The size of the free block whose last line is `line`.
  uint32_t sizeEndingAt(Handle line) const;

  // Slot i holds a chunk or nothing; slot 0 is never used, so that no handle is 0. Empty
  // until the first chunk, so that an arena that never allocated holds nothing.
  std::vector<Chunk> chunks_;
  // chunks_[i].memory, in a table of its own for at().
  std::vector<std::byte*> bases_;
  std::vector<uint32_t> emptySlots_;  // slots whose large chunk was returned
  // heads_[n]: the first free block of n lines, or 0; nonEmpty_ has bit n set when there is one.
  std::vector<Handle> heads_;
  std::vector<uint64_t> nonEmpty_;
  Handle tail_ = 0;  // the unused end of the current chunk
  uint32_t tailLines_ = 0;
  size_t nextChunkBytes_ = kFirstChunkBytes;
  int64_t chunkBytes_ = 0;
  int64_t edgeBytes_ = 0;
  int64_t freeLines_ = 0;
};

}  // namespace util

#endif  // UTIL_ARENA_H_
