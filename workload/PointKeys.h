// PresentKeySample, DrawnPointKeys, HitRatioPointKeys: which key a point query asks for.
//
// generateOperations (workload/OperationStream.h) asks its point-key policy for the key of
// every point query, after the operation's own draws:
//   pointKey(drawn, rand, present, keys)   the key to query; `drawn` is the operation's key
//
// - DrawnPointKeys asks for the drawn key and draws nothing more: the workload's own stream.
//   Most of its point queries miss, as most of the key space is absent.
// - HitRatioPointKeys asks for a present key with probability `ratio` and for an absent one
//   otherwise (one nextDouble decides). A present key is drawn uniformly among the keys
//   present at that moment (one nextInt over PresentKeySample), whatever the distribution;
//   an absent key is the drawn key when it is absent, else the first absent key of up to
//   kMaxAbsentDraws further draws of the distribution, so absent keys keep the
//   distribution's law. When no key is present a query asks for the drawn key, and when
//   every draw finds a present key (a key space nearly full) it asks for the last one: both
//   can only miss, or only hit, whatever the ratio says.
//
// PresentKeySample is the key flags (contains / insert / erase, one bit per key, as
// workload/KeyFlags.h) plus a count of the keys in every block of 512, summed in a Fenwick
// tree, so that the key of a uniform rank is found in about log2(blocks) steps without a
// second copy of the keys: a tenth more memory than the bits, a few cache lines a draw. The
// driver uses it only when a hit ratio is asked for. Each policy is a deterministic function of the
// draws it is given. Not thread-safe.
#ifndef WORKLOAD_POINT_KEYS_H_
#define WORKLOAD_POINT_KEYS_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "workload/Random.h"

namespace test {

class PresentKeySample {
 public:
  // Keys 0 .. size - 1, all absent.
  explicit PresentKeySample(int64_t size)
      : words_(static_cast<size_t>(blocksFor(size) * kWordsPerBlock), 0),
        counts_(static_cast<size_t>(blocksFor(size)) + 1, 0) {
    while (topStep_ * 2 <= counts_.size() - 1)
      topStep_ *= 2;
  }

  // The memory a sample over `size` slots takes.
  static int64_t bytesFor(int64_t size) {
    return blocksFor(size) *
           (kWordsPerBlock * int64_t{sizeof(uint64_t)} + int64_t{sizeof(int32_t)});
  }

  bool contains(int32_t key) const { return (words_[word(key)] & bit(key)) != 0; }
  void insert(int32_t key) {
    if (contains(key))
      return;
    words_[word(key)] |= bit(key);
    add(block(key), 1);
  }
  void erase(int32_t key) {
    if (!contains(key))
      return;
    words_[word(key)] &= ~bit(key);
    add(block(key), -1);
  }

  int32_t size() const { return size_; }
  // A present key, uniformly: the rank-th present key in key order for one uniform rank. The
  // sample must not be empty.
  int32_t draw(Random& rand) const { return select(rand.nextInt(size_)); }

  // The present key with `rank` present keys below it; rank within 0 .. size() - 1.
  int32_t select(int32_t rank) const {
    // Descends the Fenwick tree to the block that holds the key of this rank.
    size_t block = 0;
    for (size_t step = topStep_; step > 0; step /= 2) {
      if (block + step < counts_.size() && counts_[block + step] <= rank) {
        block += step;
        rank -= counts_[block];
      }
    }
    // Then the word, then the bit.
    size_t w = block * kWordsPerBlock;
    for (int count = std::popcount(words_[w]); count <= rank; count = std::popcount(words_[w])) {
      rank -= count;
      ++w;
    }
    uint64_t bits = words_[w];
    for (; rank > 0; --rank)
      bits &= bits - 1;  // clears the lowest set bit
    return static_cast<int32_t>(w * 64 + static_cast<size_t>(std::countr_zero(bits)));
  }

 private:
  // Keys are counted per block of 512; the Fenwick tree over the block counts finds the block
  // of a rank in log2(blocks) steps, so the sample adds a sixty-fourth to the bits.
  static constexpr int64_t kWordsPerBlock = 8;
  static constexpr int kKeysPerBlockShift = 9;

  static int64_t blocksFor(int64_t size) { return (size + 511) >> kKeysPerBlockShift; }
  static size_t word(int32_t key) { return static_cast<uint32_t>(key) >> 6; }
  static size_t block(int32_t key) { return static_cast<uint32_t>(key) >> kKeysPerBlockShift; }
  static uint64_t bit(int32_t key) { return uint64_t{1} << (key & 63); }

  void add(size_t block, int32_t delta) {
    size_ += delta;
    for (size_t i = block + 1; i < counts_.size(); i += i & (~i + 1))
      counts_[i] += delta;
  }

  std::vector<uint64_t> words_;  // one bit per key
  std::vector<int32_t> counts_;  // Fenwick tree over the keys per block, 1-based
  size_t topStep_ = 1;           // the largest power of two not above the number of blocks
  int32_t size_ = 0;
};

struct DrawnPointKeys {
  template <class KeyFlags, class Keys>
  int32_t pointKey(int32_t drawn, Random&, const KeyFlags&, Keys&) const {
    return drawn;
  }
};

class HitRatioPointKeys {
 public:
  static constexpr int kMaxAbsentDraws = 64;

  // ratio from 0 to 1.
  explicit HitRatioPointKeys(double ratio) : ratio_(ratio) {}

  template <class Keys>
  int32_t pointKey(int32_t drawn, Random& rand, const PresentKeySample& present, Keys& keys) const {
    if (rand.nextDouble() < ratio_)
      return present.size() > 0 ? present.draw(rand) : drawn;
    int32_t key = drawn;
    for (int i = 0; i < kMaxAbsentDraws && present.contains(key); ++i)
      key = keys.draw(rand);
    return key;
  }

 private:
  double ratio_;
};

}  // namespace test

#endif  // WORKLOAD_POINT_KEYS_H_
