// ByteKeyFlags and BitKeyFlags: the driver's record of which keys are in the map.
//
// Both answer contains / insert / erase for keys 0 .. size - 1 in O(1) with no hashing and
// no search. ByteKeyFlags is a view of one byte per key owned by the caller (the workload
// generator's keyBitMap); BitKeyFlags owns one bit per key, an eighth of the memory, so that a
// key space of a billion needs 125 MB. Keys outside 0 .. size - 1 are the caller's error.
// (Flags over the key space, not a key set: a key set is the keys read from a key file.)
//
// Not thread-safe.
#ifndef WORKLOAD_KEY_FLAGS_H_
#define WORKLOAD_KEY_FLAGS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace test {

class ByteKeyFlags {
 public:
  explicit ByteKeyFlags(uint8_t* flags) : flags_(flags) {}

  bool contains(int32_t key) const { return flags_[key] != 0; }
  void insert(int32_t key) { flags_[key] = 1; }
  void erase(int32_t key) { flags_[key] = 0; }

 private:
  uint8_t* flags_;
};

class BitKeyFlags {
 public:
  // Keys 0 .. size - 1, all absent.
  explicit BitKeyFlags(int64_t size) : words_(static_cast<size_t>(wordsFor(size)), 0) {}

  // The memory a set of `size` keys takes, for estimating a run's needs before it starts.
  static int64_t bytesFor(int64_t size) { return wordsFor(size) * int64_t{sizeof(uint64_t)}; }

  bool contains(int32_t key) const { return (words_[word(key)] & bit(key)) != 0; }
  void insert(int32_t key) { words_[word(key)] |= bit(key); }
  void erase(int32_t key) { words_[word(key)] &= ~bit(key); }

 private:
  static int64_t wordsFor(int64_t size) { return (size + 63) / 64; }
  static size_t word(int32_t key) { return static_cast<uint32_t>(key) >> 6; }
  static uint64_t bit(int32_t key) { return uint64_t{1} << (key & 63); }

  std::vector<uint64_t> words_;
};

}  // namespace test

#endif  // WORKLOAD_KEY_FLAGS_H_
