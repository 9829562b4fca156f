// Searches over a short sorted run of keys (one node or one leaf), as the descents use them.
//
// Both are branch-free bisections: every step halves the range with a conditional move, so
// the cost does not depend on how well the comparisons can be predicted, which for the
// random keys of a lookup is poorly.
#ifndef CORE_CSBTREE_KEY_SEARCH_H_
#define CORE_CSBTREE_KEY_SEARCH_H_

#include <cstdint>

namespace core::csbtree {

// Asks for the cache lines of a short run of keys at once, so that the misses of a search
// overlap instead of following one another. Long runs get their first lines only.
inline void prefetchRun(const int32_t* first, int32_t n) {
  constexpr int32_t kKeysPerLine = 16;
  constexpr int32_t kMaxLines = 8;
  for (int32_t i = 0; i < n && i < kKeysPerLine * kMaxLines; i += kKeysPerLine)
    __builtin_prefetch(first + i);
}

// The first of first[0 .. n) that is >= key, or first + n.
inline const int32_t* lowerBound(const int32_t* first, int32_t n, int32_t key) {
  if (n <= 0)
    return first;
  prefetchRun(first, n);
  while (n > 1) {
    const int32_t half = n / 2;
    first = first[half] < key ? first + half : first;
    n -= half;
  }
  return first + (*first < key);
}

// The first of first[0 .. n) that is > key, or first + n.
inline const int32_t* upperBound(const int32_t* first, int32_t n, int32_t key) {
  if (n <= 0)
    return first;
  prefetchRun(first, n);
  while (n > 1) {
    const int32_t half = n / 2;
    first = first[half] <= key ? first + half : first;
    n -= half;
  }
  return first + (*first <= key);
}

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_KEY_SEARCH_H_
