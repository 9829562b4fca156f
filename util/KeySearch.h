// Searches over a short sorted run of keys (one node or one leaf), as the tree descents use
// them.
//
// Both searches are branch-free bisections: every step halves the range with a conditional
// move, so the cost does not depend on how well the comparisons can be predicted, which for
// the random keys of a lookup is poorly. They return what the classic leftmost (lowerBound)
// and rightmost-plus-one (upperBound) binary searches return.
#ifndef UTIL_KEY_SEARCH_H_
#define UTIL_KEY_SEARCH_H_

#include <cstdint>

namespace util {

// The first of first[0 .. n) that is >= key, or first + n.
inline const int32_t* lowerBound(const int32_t* first, int32_t n, int32_t key) {
  if (n <= 0)
    return first;
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
  while (n > 1) {
    const int32_t half = n / 2;
    first = first[half] <= key ? first + half : first;
    n -= half;
  }
  return first + (*first <= key);
}

// The classic leftmost binary search over a[low .. high] (high inclusive, the caller
// guarantees a valid range): the first position holding `key`, or -(insertion point) - 1.
inline int32_t leftmostSearch(const int32_t* a, int32_t key, int32_t low, int32_t high) {
  const auto pos = static_cast<int32_t>(lowerBound(a + low, high - low + 1, key) - a);
  return pos <= high && a[pos] == key ? pos : -pos - 1;
}

// The classic binary search over a[low .. high] (high inclusive) that ends at its first hit:
// the position of a probe that holds `key` (on a run of equal keys not necessarily the
// leftmost: [5, 5, 5] gives 1), or -(insertion point) - 1. For keys that are unique, where
// the first hit is the only one. `Index` is int32_t or int64_t.
template <class Index>
Index firstHitSearch(const int32_t* a, int32_t key, Index low, Index high) {
  while (low <= high) {
    const Index mid = low + (high - low) / 2;
    if (a[mid] < key)
      low = mid + 1;
    else if (a[mid] > key)
      high = mid - 1;
    else
      return mid;
  }
  return -low - 1;
}

}  // namespace util

#endif  // UTIL_KEY_SEARCH_H_
