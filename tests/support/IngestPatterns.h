// Key orders for the split-rule tests of both trees: ascending, descending, sawtooth (ascending
// runs into the gaps between keys stored before) and random, and the leaf utilization a
// tree reaches after taking one of them. Not thread-safe.
#ifndef TESTS_SUPPORT_INGEST_PATTERNS_H_
#define TESTS_SUPPORT_INGEST_PATTERNS_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace test {

enum class IngestOrder { kAscending, kDescending, kSawtooth, kRandom };

inline const char* nameOf(IngestOrder order) {
  switch (order) {
    case IngestOrder::kAscending:
      return "ascending";
    case IngestOrder::kDescending:
      return "descending";
    case IngestOrder::kSawtooth:
      return "sawtooth";
    case IngestOrder::kRandom:
      return "random";
  }
  return "?";
}

// `count` distinct keys in `order`. Sawtooth: every 1000th key ascending first, then the gaps
// between them from the last gap down, each gap's keys ascending: runs that go into the middle
// of what is stored.
inline std::vector<int32_t> keysIn(IngestOrder order, int32_t count) {
  std::vector<int32_t> keys;
  keys.reserve(static_cast<size_t>(count));
  switch (order) {
    case IngestOrder::kAscending:
      for (int32_t i = 0; i < count; ++i)
        keys.push_back(i);
      break;
    case IngestOrder::kDescending:
      for (int32_t i = count; i > 0; --i)
        keys.push_back(i);
      break;
    case IngestOrder::kSawtooth: {
      constexpr int32_t kGap = 1000;
      const int32_t gaps = count / kGap;
      for (int32_t g = 0; g < gaps; ++g)
        keys.push_back(g * kGap);
      for (int32_t g = gaps - 1; g >= 0; --g)
        for (int32_t i = 1; i < kGap; ++i)
          keys.push_back(g * kGap + i);
      break;
    }
    case IngestOrder::kRandom: {
      std::mt19937 random(7);
      std::uniform_int_distribution<int32_t> any(0, 1 << 30);
      for (int32_t i = 0; i < count; ++i)
        keys.push_back(any(random));
      break;
    }
  }
  return keys;
}

// The leaf utilization of `tree` after adding the keys of `order`, each with its key as value.
template <class Tree>
double utilizationAfter(Tree& tree, IngestOrder order, int32_t count) {
  for (int32_t key : keysIn(order, count))
    tree.add(key, key);
  return tree.getLeafUtilization();
}

}  // namespace test

#endif  // TESTS_SUPPORT_INGEST_PATTERNS_H_
