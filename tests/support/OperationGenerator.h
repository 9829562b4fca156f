// OperationGenerator: the seeded random choices of the differential tests, shared by both
// trees: keys from one of several key domains (with many repeats, so that lookups and
// removals find something), values, and range bounds.
//
// The same domain and seed give the same sequence with the same standard library. Not
// thread-safe.
#ifndef TESTS_SUPPORT_OPERATION_GENERATOR_H_
#define TESTS_SUPPORT_OPERATION_GENERATOR_H_

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace test {

// Where the keys of one operation stream come from.
enum class KeyDomain {
  kFew,         // eight keys: long runs of duplicates
  kHundreds,    // a few hundred keys
  kWholeRange,  // any int, with the extremes and their neighbours now and then
  kTop,         // the largest int and just below it: runs of the key that fills unused slots
  // In-order ingest, for the sequential split rule: fresh keys follow one another.
  kAscending,   // ascending by 0 to 2 (an equal key now and then)
  kDescending,  // descending by 0 to 2
  kSawtooth,    // ascending runs of 20 to 200 keys, each from a new start among the others
  kKeyRuns,     // runs of 1 to 40 equal keys, each key above the one before
};

// The domains whose fresh keys come in order.
inline constexpr KeyDomain kOrderedDomains[] = {KeyDomain::kAscending, KeyDomain::kDescending,
                                                KeyDomain::kSawtooth, KeyDomain::kKeyRuns};

inline const char* nameOf(KeyDomain domain) {
  switch (domain) {
    case KeyDomain::kFew:
      return "few keys";
    case KeyDomain::kHundreds:
      return "hundreds of keys";
    case KeyDomain::kWholeRange:
      return "the whole int range";
    case KeyDomain::kTop:
      return "the top of the int range";
    case KeyDomain::kAscending:
      return "ascending keys";
    case KeyDomain::kDescending:
      return "descending keys";
    case KeyDomain::kSawtooth:
      return "ascending runs from new starts";
    case KeyDomain::kKeyRuns:
      return "runs of equal keys, ascending";
  }
  return "?";
}

class OperationGenerator {
 public:
  static constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  static constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

  OperationGenerator(KeyDomain domain, uint64_t seed) : domain_(domain), random_(seed) {}

  // A uniform int in [low, high].
  int32_t between(int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random_);
  }

  // A key: four times in ten (one in ten for in-order domains, so that fresh keys mostly
  // follow one another) one of the last 64 fresh keys, else a fresh one.
  int32_t key() {
    if (!recent_.empty() && between(0, 9) < (ordered() ? 1 : 4))
      return recent_[static_cast<size_t>(between(0, static_cast<int32_t>(recent_.size()) - 1))];
    const int32_t fresh = freshKey();
    if (recent_.size() < 64)
      recent_.push_back(fresh);
    else
      recent_[static_cast<size_t>(between(0, 63))] = fresh;
    return fresh;
  }

  // Mostly small values, so that removals of one value often match; one in a hundred the
  // smallest int, which as a removal's value means "every mapping".
  int32_t value() { return between(0, 99) == 0 ? kMin : between(-50, 50); }

  // A range around `key`: now and then the whole int range or the key alone, else two
  // bounds near the key (the second may lie below the first: an empty range).
  std::pair<int32_t, int32_t> range(int32_t key) {
    const int32_t shape = between(0, 19);
    if (shape == 0)
      return {kMin, kMax};
    if (shape == 1)
      return {key, key};
    return {boundNear(key), boundNear(key)};
  }

 private:
  int32_t freshKey() {
    switch (domain_) {
      case KeyDomain::kFew:
        return between(-3, 4);
      case KeyDomain::kHundreds:
        return between(-100, 300);
      case KeyDomain::kWholeRange: {
        if (between(0, 9) != 0)
          return between(kMin, kMax);
        static constexpr int32_t kEdges[] = {kMin, kMin + 1, kMin + 2, -1,
                                             0,    kMax - 2, kMax - 1, kMax};
        return kEdges[between(0, 7)];
      }
      case KeyDomain::kTop:
        return between(0, 2) == 0 ? kMax - between(1, 3) : kMax;
      case KeyDomain::kAscending:
        return next_ += between(0, 2);
      case KeyDomain::kDescending:
        return next_ -= between(0, 2);
      case KeyDomain::kSawtooth:
        if (--runLeft_ <= 0) {
          runLeft_ = between(20, 200);
          next_ = between(-5000, 5000);
        }
        return next_ += between(1, 3);
      case KeyDomain::kKeyRuns:
        if (--runLeft_ <= 0) {
          runLeft_ = between(1, 40);
          next_ += between(1, 5);
        }
        return next_;
    }
    return 0;
  }

  bool ordered() const {
    return std::find(std::begin(kOrderedDomains), std::end(kOrderedDomains), domain_) !=
           std::end(kOrderedDomains);
  }

  // A bound near `key`, mostly above it, now and then an extreme.
  int32_t boundNear(int32_t key) {
    const int32_t choice = between(0, 19);
    if (choice == 0)
      return kMin;
    if (choice == 1)
      return kMax;
    const int64_t span = domain_ == KeyDomain::kWholeRange ? int64_t{1} << 28 : 40;
    const int64_t bound = int64_t{key} + between(-4, 16) * span / 16;
    return static_cast<int32_t>(std::clamp<int64_t>(bound, kMin, kMax));
  }

  KeyDomain domain_;
  std::mt19937_64 random_;
  std::vector<int32_t> recent_;
  int32_t next_ = 0;     // the in-order domains' last fresh key (they stay far from overflow)
  int32_t runLeft_ = 0;  // fresh keys left in the current run (kSawtooth, kKeyRuns)
};

}  // namespace test

#endif  // TESTS_SUPPORT_OPERATION_GENERATOR_H_
