#include "util/Arena.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace util {

Arena::Arena() : chunks_(1, nullptr), chunkSizes_(1, 0) {}

Arena::~Arena() {
  for (std::byte* chunk : chunks_)
    std::free(chunk);
}

uint32_t Arena::newChunk(size_t bytes) {
  uint32_t slot;
  if (!emptySlots_.empty()) {
    slot = emptySlots_.back();
  } else {
    if (chunks_.size() >= (size_t{1} << (32 - kOffsetBits)))
      throw std::bad_alloc();
    chunks_.reserve(chunks_.size() + 1);
    chunkSizes_.reserve(chunks_.size() + 1);
    slot = static_cast<uint32_t>(chunks_.size());
  }
  auto* chunk = static_cast<std::byte*>(std::aligned_alloc(kLineBytes, bytes));
  if (chunk == nullptr)
    throw std::bad_alloc();
  if (!emptySlots_.empty()) {
    emptySlots_.pop_back();
    chunks_[slot] = chunk;
    chunkSizes_[slot] = bytes;
  } else {
    chunks_.push_back(chunk);
    chunkSizes_.push_back(bytes);
  }
  chunkBytes_ += static_cast<int64_t>(bytes);
  return slot;
}

Arena::Handle Arena::allocate(uint64_t lines) {
  if (lines == 0)
    lines = 1;
  if (lines > kLargeLines) {
    if (lines > (uint64_t{1} << 32) || lines * kLineBytes > SIZE_MAX / 2)
      throw std::bad_alloc();
    return newChunk(static_cast<size_t>(lines * kLineBytes)) << kOffsetBits;
  }
  const auto n = static_cast<uint32_t>(lines);
  if (n < freeLists_.size() && freeLists_[n] != 0) {
    const Handle handle = freeLists_[n];
    std::memcpy(&freeLists_[n], at(handle), sizeof(Handle));
    return handle;
  }
  if (tailLines_ < n) {
    // The rest of the current chunk becomes a free block of its own size.
    if (tailLines_ > 0)
      pushFree(tail_, tailLines_);
    const size_t bytes = std::max(nextChunkBytes_, static_cast<size_t>(n) * kLineBytes);
    if (nextChunkBytes_ < kChunkBytes)
      nextChunkBytes_ *= 2;
    tail_ = newChunk(bytes) << kOffsetBits;
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
    std::free(chunks_[slot]);
    chunkBytes_ -= static_cast<int64_t>(chunkSizes_[slot]);
    chunks_[slot] = nullptr;
    chunkSizes_[slot] = 0;
    emptySlots_.push_back(slot);
    return;
  }
  pushFree(handle, static_cast<uint32_t>(lines));
}

void Arena::pushFree(Handle handle, uint32_t lines) {
  if (lines >= freeLists_.size())
    freeLists_.resize(lines + 1, 0);
  std::memcpy(at(handle), &freeLists_[lines], sizeof(Handle));
  freeLists_[lines] = handle;
}

}  // namespace util
