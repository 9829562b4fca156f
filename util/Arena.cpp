#include "util/Arena.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace util {

namespace {

constexpr uint32_t offsetOf(Arena::Handle handle) {
  return handle & (Arena::kChunkLines - 1);
}

}  // namespace

Arena::~Arena() {
  for (Chunk& chunk : chunks_)
    std::free(chunk.memory);
}

int64_t Arena::allocatedBytes() const {
  return chunkBytes_ + edgeBytes_ +
         static_cast<int64_t>(
             chunks_.capacity() * sizeof(Chunk) + emptySlots_.capacity() * sizeof(uint32_t) +
             heads_.capacity() * sizeof(Handle) + nonEmpty_.capacity() * sizeof(uint64_t));
}

uint32_t Arena::newChunk(size_t bytes, bool withEdges) {
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
  if (withEdges)
    chunk.edges.assign((bytes / kLineBytes + 63) / 64, 0);
  chunk.memory = static_cast<std::byte*>(std::aligned_alloc(kLineBytes, bytes));
  if (chunk.memory == nullptr)
    throw std::bad_alloc();
  chunk.bytes = bytes;
  chunkBytes_ += static_cast<int64_t>(bytes);
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

void Arena::link(Handle handle, uint32_t lines) {
  if (lines >= heads_.size()) {
    heads_.resize(lines + 1, 0);
    nonEmpty_.resize(heads_.size() / 64 + 1, 0);
  }
  FreeBlock* free = block(handle);
  *free = FreeBlock{heads_[lines], 0, lines};
  if (free->next != 0)
    block(free->next)->prev = handle;
  heads_[lines] = handle;
  nonEmpty_[lines / 64] |= uint64_t{1} << (lines % 64);
  std::memcpy(at(handle + lines - 1) + kLineBytes - sizeof(uint32_t), &lines, sizeof(lines));
  setEdge(handle, true);
  setEdge(handle + lines - 1, true);
  freeLines_ += lines;
}

void Arena::unlink(Handle handle, uint32_t lines) {
  const FreeBlock* free = block(handle);
  if (free->prev != 0)
    block(free->prev)->next = free->next;
  else
    heads_[lines] = free->next;
  if (free->next != 0)
    block(free->next)->prev = free->prev;
  if (heads_[lines] == 0)
    nonEmpty_[lines / 64] &= ~(uint64_t{1} << (lines % 64));
  setEdge(handle, false);
  setEdge(handle + lines - 1, false);
  freeLines_ -= lines;
}

Arena::Handle Arena::allocate(uint64_t lines) {
  if (lines == 0)
    lines = 1;
  if (lines > kLargeLines) {
    if (lines > (uint64_t{1} << 32) || lines * kLineBytes > SIZE_MAX / 2)
      throw std::bad_alloc();
    return newChunk(static_cast<size_t>(lines * kLineBytes), false) << kOffsetBits;
  }
  const auto n = static_cast<uint32_t>(lines);
  // The free block of this size, or the smallest larger one.
  for (size_t word = n / 64; word < nonEmpty_.size(); ++word) {
    uint64_t bits = nonEmpty_[word];
    if (word == n / 64)
      bits &= ~uint64_t{0} << (n % 64);
    if (bits == 0)
      continue;
    const auto size = static_cast<uint32_t>(word * 64 + std::countr_zero(bits));
    const Handle handle = heads_[size];
    unlink(handle, size);
    if (size > n)
      link(handle + n, size - n);
    return handle;
  }
  if (tailLines_ < n) {
    // The rest of the current chunk becomes a free block.
    if (tailLines_ > 0)
      link(tail_, tailLines_);
    const size_t bytes = std::max(nextChunkBytes_, static_cast<size_t>(n) * kLineBytes);
    if (nextChunkBytes_ < kChunkBytes)
      nextChunkBytes_ *= 2;
    tail_ = newChunk(bytes, true) << kOffsetBits;
    tailLines_ = static_cast<uint32_t>(bytes / kLineBytes);
  }
  const Handle handle = tail_;
  tail_ += n;
  tailLines_ -= n;
  return handle;
}

void Arena::free(Handle handle, uint64_t lines) {
  if (handle == 0)
    return;
  if (lines == 0)
    lines = 1;
  if (lines > kLargeLines) {
    const uint32_t slot = handle >> kOffsetBits;
    std::free(chunks_[slot].memory);
    chunkBytes_ -= static_cast<int64_t>(chunks_[slot].bytes);
    chunks_[slot] = Chunk();
    bases_[slot] = nullptr;
    emptySlots_.push_back(slot);
    return;
  }
  auto n = static_cast<uint32_t>(lines);
  // Join the free neighbours inside the same chunk.
  const Chunk& chunk = chunks_[handle >> kOffsetBits];
  const auto chunkLines = static_cast<uint32_t>(chunk.bytes / kLineBytes);
  if (offsetOf(handle) > 0 && isEdge(handle - 1)) {
    const uint32_t before = sizeEndingAt(handle - 1);
    handle -= before;
    unlink(handle, before);
    n += before;
  }
  const Handle after = handle + n;
  if (offsetOf(handle) + n < chunkLines && isEdge(after) && after != tail_) {
    const uint32_t size = block(after)->lines;
    unlink(after, size);
    n += size;
  }
  if (handle + n == tail_ && tailLines_ > 0 && offsetOf(handle) + n < chunkLines) {
    tail_ = handle;
    tailLines_ += n;
    return;
  }
  link(handle, n);
}

}  // namespace util
