// UniformKeys, ZipfKeys, LatestKeys: where the operations of the workload put their keys.
//
// generateOperations (workload/OperationStream.h) asks its key chooser, for every operation:
//   draw(rand)         the operation's key, drawn first; queries and deletes use it as it is
//   insertStart(key)   the first slot an insert probes (it probes up to kMaxInsertProbes
//                      slots from there, modulo probeModulus(), for one that is absent)
//   inserted(slot)     an insert placed its key at `slot`
//   insertFailed()     every probed slot was taken and nothing was inserted
//
// - UniformKeys: key = rand.nextInt(maxKey), probing modulo maxKey + 1 (so an insert can reach
//   the key maxKey itself). This is the original workload, draw for draw.
// - ZipfKeys: key = scramble(rank), rank a Zipf draw over 0 .. maxKey - 1 with exponent theta
//   (one nextDouble); inserts probe from that key as UniformKeys do.
// - LatestKeys: time-ordered ingest over keys 0 .. maxKey, the slots the other two choosers'
//   inserts reach. Inserts probe upwards from the slot after the newest inserted key,
//   wrapping from maxKey to 0; when all probed slots are taken the next insert starts after
//   them, so ingest moves on through a full stretch instead of retrying it forever. Queries
//   and deletes use newest - rank (wrapping), rank a Zipf draw over recency (0 is the newest
//   key) across all maxKey + 1 slots, so that the reach of the queries does not change as the
//   map grows. Before any insert the newest key is maxKey, so the first insert goes to key 0.
//
// The fill run, which loads the data set, draws uniform keys for `uniform` and `zipf` (a
// Zipf-keyed fill would keep hitting the same few taken slots and fail to place most of its
// inserts, so it would not reach its size), and ascending keys from 0 for `latest` (the same
// LatestKeys carries on into the measured run). withKeyChoosers() encodes this choice.
//
// Every chooser's inserts reach all the slots 0 .. maxKey and no other; uniform and zipf draw
// the keys of queries and deletes from 0 .. maxKey - 1 (their ranges reach maxKey). Each takes
// 1 <= maxKey < 2^31 - 1 (so that the maxKey + 1 slots are int32 values) and refuses others
// with std::invalid_argument. Each is a deterministic function of the draws it is given. Not
// thread-safe.
#ifndef WORKLOAD_KEY_CHOOSERS_H_
#define WORKLOAD_KEY_CHOOSERS_H_

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "workload/KeyDistribution.h"
#include "workload/Random.h"
#include "workload/Zipf.h"

namespace test {

inline constexpr int32_t kMaxInsertProbes = 10;

// The largest key space: its maxKey + 1 slots must be int32 values.
inline constexpr int32_t kMaxKeySpace = std::numeric_limits<int32_t>::max() - 1;

// Throws std::invalid_argument unless 1 <= maxKey <= kMaxKeySpace.
inline int32_t checkedKeySpace(int32_t maxKey) {
  if (maxKey < 1 || maxKey > kMaxKeySpace)
    throw std::invalid_argument("the key space must hold 1 to " + std::to_string(kMaxKeySpace) +
                                " keys");
  return maxKey;
}

class UniformKeys {
 public:
  explicit UniformKeys(int32_t maxKey) : maxKey_(checkedKeySpace(maxKey)) {}

  int32_t draw(Random& rand) const { return rand.nextInt(maxKey_); }
  int32_t insertStart(int32_t key) const { return key; }
  int32_t probeModulus() const { return maxKey_ + 1; }
  void inserted(int32_t) {}
  void insertFailed() {}

 private:
  int32_t maxKey_;
};

class ZipfKeys {
 public:
  // theta within kMinTheta .. kMaxTheta, or std::invalid_argument.
  ZipfKeys(int32_t maxKey, double theta)
      : ranks_(checkedKeySpace(maxKey), theta), scramble_(maxKey) {}

  int32_t draw(Random& rand) const { return scramble_(ranks_.rank(rand.nextDouble())); }
  int32_t insertStart(int32_t key) const { return key; }
  int32_t probeModulus() const { return ranks_.size() + 1; }
  void inserted(int32_t) {}
  void insertFailed() {}

  // The key drawn most often (that of rank 0).
  int32_t hottestKey() const { return scramble_(0); }

 private:
  ZipfianRanks ranks_;
  KeyScrambler scramble_;
};

class LatestKeys {
 public:
  // theta within kMinTheta .. kMaxTheta, or std::invalid_argument.
  LatestKeys(int32_t maxKey, double theta)
      : ranks_(checkedKeySpace(maxKey) + 1, theta), slots_(maxKey + 1), newest_(maxKey), next_(0) {}

  int32_t draw(Random& rand) const {
    const int32_t key = newest_ - ranks_.rank(rand.nextDouble());  // > -slots
    return key < 0 ? key + slots_ : key;
  }
  int32_t insertStart(int32_t) const { return next_; }
  int32_t probeModulus() const { return slots_; }
  void inserted(int32_t slot) {
    newest_ = slot;
    next_ = slot + 1 < slots_ ? slot + 1 : 0;
  }
  void insertFailed() {
    next_ = static_cast<int32_t>((int64_t{next_} + kMaxInsertProbes) % slots_);
  }

  int32_t newest() const { return newest_; }

 private:
  ZipfianRanks ranks_;
  int32_t slots_;   // 0 .. maxKey
  int32_t newest_;  // the key inserted last
  int32_t next_;    // where the next insert starts probing
};

// Calls body(fillKeys, measuredKeys) with the choosers of `distribution` over the slots
// 0 .. maxKey (see above); for `latest` both are the same object.
template <class Body>
void withKeyChoosers(KeyDistribution distribution, int32_t maxKey, double theta, Body&& body) {
  switch (distribution) {
    case KeyDistribution::kZipf: {
      UniformKeys fill(maxKey);
      ZipfKeys measured(maxKey, theta);
      body(fill, measured);
      return;
    }
    case KeyDistribution::kLatest: {
      LatestKeys keys(maxKey, theta);
      body(keys, keys);
      return;
    }
    case KeyDistribution::kUniform:
      break;
  }
  UniformKeys keys(maxKey);
  body(keys, keys);
}

}  // namespace test

#endif  // WORKLOAD_KEY_CHOOSERS_H_
