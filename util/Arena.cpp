#include "util/Arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace util {

namespace {

std::atomic<bool> processHugePages{false};

constexpr uint32_t offsetOf(Arena::Handle handle) {
  return handle & (Arena::kSlotLines - 1);
}

#ifdef MADV_COLLAPSE
constexpr int kMadviseCollapse = MADV_COLLAPSE;
#else
constexpr int kMadviseCollapse = 25;  // Linux 6.1's value, when the C library lacks the name
#endif

// `bytes` of fresh memory starting on a huge-page boundary, advised for huge pages when
// `huge`.
std::byte* mapHugePageAligned(size_t bytes, bool huge) {
  const size_t span = bytes + Arena::kHugePageBytes;
  void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED)
    throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + Arena::kHugePageBytes - 1) & ~(Arena::kHugePageBytes - 1);
  if (aligned > start)
    ::munmap(raw, aligned - start);
  if (const size_t after = start + span - (aligned + bytes); after > 0)
    ::munmap(reinterpret_cast<void*>(aligned + bytes), after);
  // Advice only: without it the kernel may still back the range with small pages.
  if (huge)
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
  return reinterpret_cast<std::byte*>(aligned);
}

}  // namespace

Arena::Arena() : hugePages_(processHugePages.load(std::memory_order_relaxed)) {}

Arena::~Arena() {
  for (Chunk& chunk : chunks_)
    releaseChunk(chunk);
  for (Stream& stream : streams_) {
    if (stream.firstPage != nullptr)
      ::munmap(stream.firstPage, kHugePageBytes);
  }
}

void Arena::useHugePages(bool on) {
  processHugePages.store(on, std::memory_order_relaxed);
}

void Arena::releaseChunk(Chunk& chunk) {
  if (chunk.source == Source::kMapped)
    ::munmap(chunk.memory, chunk.bytes);
  else if (chunk.source == Source::kMalloc)
    std::free(chunk.memory);
  chunk.memory = nullptr;  // a piece of a first page goes with its page
}

std::byte* Arena::hugePageChunk(Stream& stream, size_t bytes, Source& source) {
  if (bytes == kHugePageBytes) {
    // The region's first page is full: have the kernel put it on a huge page now.
    if (stream.firstPage != nullptr && !stream.firstPageCollapsed) {
      ::madvise(stream.firstPage, kHugePageBytes, MADV_HUGEPAGE);
      ::madvise(stream.firstPage, kHugePageBytes, kMadviseCollapse);
      stream.firstPageCollapsed = true;
    }
    source = Source::kMapped;
    return mapHugePageAligned(bytes, true);
  }
  if (stream.firstPageUsed + bytes > kHugePageBytes)
    return nullptr;
  if (stream.firstPage == nullptr)
    stream.firstPage = mapHugePageAligned(kHugePageBytes, false);
  std::byte* memory = stream.firstPage + stream.firstPageUsed;
  stream.firstPageUsed += bytes;
  source = Source::kFirstPage;
  return memory;
}

int64_t Arena::allocatedBytes() const {
  size_t tables = chunks_.capacity() * sizeof(Chunk) + bases_.capacity() * sizeof(std::byte*) +
                  emptySlots_.capacity() * sizeof(uint32_t);
  for (const Stream& stream : streams_)
    tables +=
        stream.heads.capacity() * sizeof(Handle) + stream.nonEmpty.capacity() * sizeof(uint64_t);
  return chunkBytes_ + edgeBytes_ + static_cast<int64_t>(tables);
}

size_t Arena::nextChunkBytes(const Stream& stream) const {
  const auto held = static_cast<size_t>(stream.bytes);
  // Huge pages: double what the region holds up to one huge page per chunk.
  if (hugePages_)
    return std::clamp(std::bit_floor(held), kFirstChunkBytes, kHugePageBytes);
  return std::clamp(std::bit_floor(held / 8), kFirstChunkBytes, kChunkBytes);
}

uint32_t Arena::newChunk(size_t bytes, Region region, bool withEdges) {
  if (emptySlots_.empty()) {
    if (chunks_.empty()) {
      chunks_.emplace_back();  // slot 0: never used
      bases_.push_back(nullptr);
    }
    if (chunks_.size() >= (size_t{1} << (32 - kOffsetBits)))
      throw std::bad_alloc();
    chunks_.reserve(chunks_.size() + 1);
    bases_.reserve(chunks_.size() + 1);
  }
  Chunk chunk;
  chunk.region = region;
  if (withEdges)
    chunk.edges.assign((bytes / kLineBytes + 63) / 64, 0);
  if (hugePages_ && withEdges)
    chunk.memory = hugePageChunk(streamOf(region), bytes, chunk.source);
  if (chunk.memory == nullptr) {
    chunk.memory = static_cast<std::byte*>(std::aligned_alloc(kLineBytes, bytes));
    if (chunk.memory == nullptr)
      throw std::bad_alloc();
  }
  chunk.bytes = bytes;
  chunkBytes_ += static_cast<int64_t>(bytes);
  streamOf(region).bytes += static_cast<int64_t>(bytes);
  edgeBytes_ += static_cast<int64_t>(chunk.edges.capacity() * sizeof(uint64_t));
  if (!emptySlots_.empty()) {
    const uint32_t slot = emptySlots_.back();
    emptySlots_.pop_back();
    bases_[slot] = chunk.memory;
    chunks_[slot] = std::move(chunk);
    return slot;
  }
  bases_.push_back(chunk.memory);
  chunks_.push_back(std::move(chunk));
  return static_cast<uint32_t>(chunks_.size() - 1);
}

bool Arena::isEdge(Handle line) const {
  const uint32_t offset = offsetOf(line);
  return (chunks_[line >> kOffsetBits].edges[offset / 64] >> (offset % 64)) & 1;
}

void Arena::setEdge(Handle line, bool on) {
  const uint32_t offset = offsetOf(line);
  uint64_t& word = chunks_[line >> kOffsetBits].edges[offset / 64];
  const uint64_t bit = uint64_t{1} << (offset % 64);
  word = on ? word | bit : word & ~bit;
}

uint32_t Arena::sizeEndingAt(Handle line) const {
  uint32_t lines;
  std::memcpy(&lines, at(line) + kLineBytes - sizeof(uint32_t), sizeof(lines));
  return lines;
}

void Arena::link(Stream& stream, Handle handle, uint32_t lines) {
  if (lines >= stream.heads.size()) {
    stream.heads.resize(lines + 1, 0);
    stream.nonEmpty.resize(stream.heads.size() / 64 + 1, 0);
  }
  FreeBlock* free = block(handle);
  *free = FreeBlock{stream.heads[lines], 0, lines};
  if (free->next != 0)
    block(free->next)->prev = handle;
  stream.heads[lines] = handle;
  stream.nonEmpty[lines / 64] |= uint64_t{1} << (lines % 64);
  std::memcpy(at(handle + lines - 1) + kLineBytes - sizeof(uint32_t), &lines, sizeof(lines));
  setEdge(handle, true);
  setEdge(handle + lines - 1, true);
  freeLines_ += lines;
}

void Arena::unlink(Stream& stream, Handle handle, uint32_t lines) {
  const FreeBlock* free = block(handle);
  if (free->prev != 0)
    block(free->prev)->next = free->next;
  else
    stream.heads[lines] = free->next;
  if (free->next != 0)
    block(free->next)->prev = free->prev;
  if (stream.heads[lines] == 0)
    stream.nonEmpty[lines / 64] &= ~(uint64_t{1} << (lines % 64));
  setEdge(handle, false);
  setEdge(handle + lines - 1, false);
  freeLines_ -= lines;
}

Arena::Handle Arena::allocate(uint64_t lines, Region region) {
  if (lines == 0)
    lines = 1;
  if (lines > kLargeLines) {
    if (lines > (uint64_t{1} << 32) || lines * kLineBytes > SIZE_MAX / 2)
      throw std::bad_alloc();
    return newChunk(static_cast<size_t>(lines * kLineBytes), region, false) << kOffsetBits;
  }
  Stream& stream = streamOf(region);
  const auto n = static_cast<uint32_t>(lines);
  // The free block of this size, or the smallest larger one.
  for (size_t word = n / 64; word < stream.nonEmpty.size(); ++word) {
    uint64_t bits = stream.nonEmpty[word];
    if (word == n / 64)
      bits &= ~uint64_t{0} << (n % 64);
    if (bits == 0)
      continue;
    const auto size = static_cast<uint32_t>(word * 64 + std::countr_zero(bits));
    const Handle handle = stream.heads[size];
    unlink(stream, handle, size);
    if (size > n)
      link(stream, handle + n, size - n);
    return handle;
  }
  if (stream.tailLines < n) {
    // The rest of the current chunk becomes a free block.
    if (stream.tailLines > 0)
      link(stream, stream.tail, stream.tailLines);
    const size_t bytes =
        std::max(nextChunkBytes(stream), std::bit_ceil(static_cast<size_t>(n) * kLineBytes));
    stream.tail = newChunk(bytes, region, true) << kOffsetBits;
    stream.tailLines = static_cast<uint32_t>(bytes / kLineBytes);
  }
  const Handle handle = stream.tail;
  stream.tail += n;
  stream.tailLines -= n;
  return handle;
}

void Arena::free(Handle handle, uint64_t lines) {
  if (handle == 0)
    return;
  if (lines == 0)
    lines = 1;
  const uint32_t slot = handle >> kOffsetBits;
  if (lines > kLargeLines) {
    Chunk& chunk = chunks_[slot];
    releaseChunk(chunk);
    chunkBytes_ -= static_cast<int64_t>(chunk.bytes);
    streamOf(chunk.region).bytes -= static_cast<int64_t>(chunk.bytes);
    chunk = Chunk();
    bases_[slot] = nullptr;
    emptySlots_.push_back(slot);
    return;
  }
  auto n = static_cast<uint32_t>(lines);
  // Join the free neighbours inside the same chunk.
  const Chunk& chunk = chunks_[slot];
  Stream& stream = streamOf(chunk.region);
  const auto chunkLines = static_cast<uint32_t>(chunk.bytes / kLineBytes);
  if (offsetOf(handle) > 0 && isEdge(handle - 1)) {
    const uint32_t before = sizeEndingAt(handle - 1);
    handle -= before;
    unlink(stream, handle, before);
    n += before;
  }
  const Handle after = handle + n;
  if (offsetOf(handle) + n < chunkLines && isEdge(after) && after != stream.tail) {
    const uint32_t size = block(after)->lines;
    unlink(stream, after, size);
    n += size;
  }
  if (handle + n == stream.tail && stream.tailLines > 0 && offsetOf(handle) + n < chunkLines) {
    stream.tail = handle;
    stream.tailLines += n;
    return;
  }
  link(stream, handle, n);
}

}  // namespace util
