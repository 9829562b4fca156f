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

// The address range an arena asks for first: a line for every handle.
constexpr size_t kFullRangeBytes = (size_t{1} << 32) * Arena::kLineBytes;
// The smallest range it settles for.
constexpr size_t kLeastRangeBytes = size_t{64} * Arena::kSlotBytes;

}  // namespace

Arena::Arena() : hugePages_(processHugePages.load(std::memory_order_relaxed)) {}

Arena::~Arena() {
  if (base_ != nullptr)
    ::munmap(base_, reservedBytes_);
}

void Arena::useHugePages(bool on) {
  processHugePages.store(on, std::memory_order_relaxed);
}

void Arena::reserve() {
  // Readable and writable from the start, without swap reserved for it: a page takes memory
  // only once written, and a chunk needs no call to the kernel. On a 2 MiB boundary, so that
  // every slot can be a huge page.
  for (size_t bytes = kFullRangeBytes; bytes >= kLeastRangeBytes; bytes /= 2) {
    const size_t span = bytes + kHugePageBytes;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED)
      continue;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (aligned > start)
      ::munmap(raw, aligned - start);
    if (const size_t after = start + span - (aligned + bytes); after > 0)
      ::munmap(reinterpret_cast<void*>(aligned + bytes), after);
    base_ = reinterpret_cast<std::byte*>(aligned);
    reservedBytes_ = bytes;
    slotLimit_ = static_cast<uint32_t>(bytes / kSlotBytes);
    return;
  }
  throw std::bad_alloc();
}

bool Arena::growFirstChunk(Stream& stream, size_t bytes) {
  if (!hugePages_ || bytes >= kHugePageBytes || stream.firstSlot == 0)
    return false;
  Chunk& chunk = chunks_[stream.firstSlot];
  if (chunk.bytes + bytes > kHugePageBytes)
    return false;
  const Handle end = (stream.firstSlot << kOffsetBits) + chunk.first +
                     static_cast<Handle>(chunk.bytes / kLineBytes);
  // The region's unused end goes on into the new lines where it borders on them, else it
  // becomes a free block.
  if (stream.tailLines == 0 || stream.tail + stream.tailLines != end) {
    if (stream.tailLines > 0)
      link(stream, stream.tail, stream.tailLines);
    stream.tail = end;
    stream.tailLines = 0;
  }
  edgeBytes_ -= static_cast<int64_t>(chunk.edges.capacity() * sizeof(uint64_t));
  chunk.bytes += bytes;
  chunk.edges.resize((chunk.bytes / kLineBytes + 63) / 64, 0);
  edgeBytes_ += static_cast<int64_t>(chunk.edges.capacity() * sizeof(uint64_t));
  stream.tailLines += static_cast<uint32_t>(bytes / kLineBytes);
  chunkBytes_ += static_cast<int64_t>(bytes);
  stream.bytes += static_cast<int64_t>(bytes);
  return true;
}

int64_t Arena::allocatedBytes() const {
  size_t tables = chunks_.capacity() * sizeof(Chunk) + emptySlots_.capacity() * sizeof(uint32_t);
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

Arena::Handle Arena::newChunk(size_t bytes, Region region, bool withEdges, uint32_t color) {
  if (base_ == nullptr)
    reserve();
  const auto slots = static_cast<uint32_t>((bytes + kSlotBytes - 1) / kSlotBytes);
  if (chunks_.empty()) {
    chunks_.reserve(1);
    chunks_.emplace_back();  // slot 0: never used
  }
  uint32_t slot;
  if (slots == 1 && !emptySlots_.empty()) {
    slot = emptySlots_.back();
    emptySlots_.pop_back();
  } else {
    if (chunks_.size() + slots > slotLimit_)
      throw std::bad_alloc();
    slot = static_cast<uint32_t>(chunks_.size());
    chunks_.reserve(chunks_.size() + slots);  // exactly: the table counts in allocatedBytes()
    chunks_.resize(chunks_.size() + slots);
  }
  Chunk& chunk = chunks_[slot];
  chunk.region = region;
  chunk.slots = slots;
  if (withEdges)
    chunk.edges.assign((bytes / kLineBytes + 63) / 64, 0);
  Stream& stream = streamOf(region);
  // On ordinary pages a chunk starts where it would in one run of the region's chunks: at
  // the region's size so far, modulo a slot, rounded down to the chunk's size (a power of
  // two that divides the slot). Chunks at the start of their slots would all meet the
  // same sets of a cache indexed by address.
  if (!hugePages_ && withEdges) {
    chunk.first = static_cast<uint32_t>(static_cast<size_t>(stream.bytes) % kSlotBytes / bytes *
                                        bytes / kLineBytes);
    // Its colour: as many lines later, or kChunkColors - colour earlier where it would then
    // end past its slot (such a chunk, of at most kChunkBytes, never starts its slot).
    if (chunk.first + color + bytes / kLineBytes <= kSlotLines)
      chunk.first += color;
    else
      chunk.first -= kChunkColors - color;
  }
  if (hugePages_ && withEdges) {
    if (bytes == kHugePageBytes) {
      // The region's first slot is full: have the kernel put it on a huge page now.
      if (stream.firstSlot != 0 && !stream.firstSlotCollapsed) {
        ::madvise(slotAddress(stream.firstSlot), kHugePageBytes, MADV_HUGEPAGE);
        ::madvise(slotAddress(stream.firstSlot), kHugePageBytes, kMadviseCollapse);
        stream.firstSlotCollapsed = true;
      }
      // Advice only: without it the kernel may still back the slot with small pages.
      ::madvise(slotAddress(slot), kHugePageBytes, MADV_HUGEPAGE);
    } else if (stream.firstSlot == 0) {
      stream.firstSlot = slot;
    }
  }
  chunk.bytes = bytes;
  chunkBytes_ += static_cast<int64_t>(bytes);
  stream.bytes += static_cast<int64_t>(bytes);
  edgeBytes_ += static_cast<int64_t>(chunk.edges.capacity() * sizeof(uint64_t));
  return (slot << kOffsetBits) + chunk.first;
}

bool Arena::isEdge(Handle line) const {
  const Chunk& chunk = chunks_[line >> kOffsetBits];
  const uint32_t offset = offsetOf(line) - chunk.first;
  return (chunk.edges[offset / 64] >> (offset % 64)) & 1;
}

void Arena::setEdge(Handle line, bool on) {
  Chunk& chunk = chunks_[line >> kOffsetBits];
  const uint32_t offset = offsetOf(line) - chunk.first;
  uint64_t& word = chunk.edges[offset / 64];
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
    return newChunk(static_cast<size_t>(lines * kLineBytes), region, false);
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
  while (stream.tailLines < n) {
    const size_t bytes =
        std::max(nextChunkBytes(stream), std::bit_ceil(static_cast<size_t>(n) * kLineBytes));
    if (growFirstChunk(stream, bytes))
      continue;
    // The rest of the current chunk becomes a free block.
    if (stream.tailLines > 0)
      link(stream, stream.tail, stream.tailLines);
    const uint32_t color = stream.chunks++ % kChunkColors;
    stream.tail = newChunk(bytes, region, true, color);
    stream.tailLines = static_cast<uint32_t>(bytes / kLineBytes);
    // A huge-page chunk cannot move inside its slot: its colour is unused lines at its start
    // instead, unless the request would then not fit.
    if (hugePages_ && stream.tailLines - color >= n) {
      stream.tail += color;
      stream.tailLines -= color;
    }
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
    // Its pages go back to the system; its slots serve later chunks of one slot each, the
    // first of them first.
    ::madvise(slotAddress(slot), chunk.bytes, MADV_DONTNEED);
    chunkBytes_ -= static_cast<int64_t>(chunk.bytes);
    streamOf(chunk.region).bytes -= static_cast<int64_t>(chunk.bytes);
    const uint32_t slots = chunk.slots;
    chunk = Chunk();
    for (uint32_t i = slots; i > 0; --i)
      emptySlots_.push_back(slot + i - 1);
    return;
  }
  auto n = static_cast<uint32_t>(lines);
  // Join the free neighbours inside the same chunk.
  const Chunk& chunk = chunks_[slot];
  Stream& stream = streamOf(chunk.region);
  const auto chunkLines = static_cast<uint32_t>(chunk.bytes / kLineBytes);
  if (offsetOf(handle) > chunk.first && isEdge(handle - 1)) {
    const uint32_t before = sizeEndingAt(handle - 1);
    handle -= before;
    unlink(stream, handle, before);
    n += before;
  }
  const Handle after = handle + n;
  if (offsetOf(handle) - chunk.first + n < chunkLines && isEdge(after) && after != stream.tail) {
    const uint32_t size = block(after)->lines;
    unlink(stream, after, size);
    n += size;
  }
  if (handle + n == stream.tail && stream.tailLines > 0 &&
      offsetOf(handle) - chunk.first + n < chunkLines) {
    stream.tail = handle;
    stream.tailLines += n;
    return;
  }
  link(stream, handle, n);
}

}  // namespace util
