// Arena: blocks of whole 64-byte cache lines for the nodes of one tree, named by 32-bit
// handles.
//
// Blocks are carved from large chunks obtained from malloc (so a process that asks malloc
// for huge pages gets them here too). A handle counts lines: its upper bits pick a chunk slot
// of kChunkLines lines, its lower bits the line inside that slot, so 2^32 lines (256 GiB) are
// addressable and resolving a handle costs one load from a small table. Handle 0 names no
// block. Every block starts on a line boundary and is not cleared: its owner writes it.
//
// A freed block goes onto a free list for its size in lines and is handed out again for a
// block of the same size; blocks larger than kLargeLines get a chunk of their own, which is
// returned to malloc when freed. The chunks grow from kFirstChunkBytes to kChunkBytes, so a
// small tree holds little. allocatedBytes() is exact: every chunk at its full size (unused
// ends and free blocks included) and the arena's own tables.
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
  static constexpr int kOffsetBits = 15;
  static constexpr uint32_t kChunkLines = uint32_t{1} << kOffsetBits;
  static constexpr size_t kChunkBytes = kChunkLines * kLineBytes;  // 2 MiB
  static constexpr size_t kFirstChunkBytes = size_t{64} << 10;
  // Blocks above this many lines get a chunk of their own.
  static constexpr uint32_t kLargeLines = kChunkLines / 8;

  Arena();
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
    return chunks_[handle >> kOffsetBits] +
           (static_cast<size_t>(handle & (kChunkLines - 1)) * kLineBytes);
  }
  template <class T>
  T* as(Handle handle) const {
    return reinterpret_cast<T*>(at(handle));
  }

  // Every byte the arena holds from malloc: its chunks, used or not, and its tables.
  int64_t allocatedBytes() const {
    return chunkBytes_ + static_cast<int64_t>(chunks_.capacity() * sizeof(chunks_[0]) +
                                              chunkSizes_.capacity() * sizeof(chunkSizes_[0]) +
                                              freeLists_.capacity() * sizeof(freeLists_[0]) +
                                              emptySlots_.capacity() * sizeof(emptySlots_[0]));
  }

 private:
  // A new chunk of `bytes` in a free slot; returns the slot.
  uint32_t newChunk(size_t bytes);
  void pushFree(Handle handle, uint32_t lines);

  // Slot i holds a chunk or nullptr; slot 0 is never used, so that no handle is 0.
  std::vector<std::byte*> chunks_;
  std::vector<size_t> chunkSizes_;
  std::vector<uint32_t> emptySlots_;  // slots whose large chunk was returned
  // freeLists_[n]: the first free block of n lines; each free block holds the next one's
  // handle in its first bytes.
  std::vector<Handle> freeLists_;
  Handle tail_ = 0;  // the unused end of the current chunk
  uint32_t tailLines_ = 0;
  size_t nextChunkBytes_ = kFirstChunkBytes;
  int64_t chunkBytes_ = 0;
};

}  // namespace util

#endif  // UTIL_ARENA_H_
