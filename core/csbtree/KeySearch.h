// Searches over a short sorted run of keys (one node or one leaf), as the descents use them.
//
// Runs of up to kLinearSearchMax keys are searched by counting: in a sorted run, the first
// key >= key sits at the number of keys < key, and the first key > key at the number of keys
// <= key. The count compares the last key of every block of 16 and then the keys of one
// block, four at a time, with no load depending on another, so once the lines are in it
// costs a few cycles, where a bisection waits for one load per step.
// Longer runs use the branch-free bisection of util/KeySearch.h. Both give the same answer.
// (The B+-tree keeps the bisection for all runs: it reads only the lines its probes need,
// which measured faster there, where a search starts before all of a node's lines are in.)
#ifndef CORE_CSBTREE_KEY_SEARCH_H_
#define CORE_CSBTREE_KEY_SEARCH_H_

#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "util/KeySearch.h"

namespace core::csbtree {

inline constexpr int32_t kLinearSearchMax = 64;

// Asks for the cache lines of a short run of keys (or values) at once, so that the misses
// overlap instead of following one another. Long runs get their first lines only. The
// searches below do not call it: a parent node asks for its child's lines before the descent
// reaches the child (NodeGroupArrayMap::prefetchChildKeys), and asking again cost time. Always
// inlined: GCC takes an out-of-line function that only prefetches for one without effects
// and deletes the calls to it.
[[gnu::always_inline]] inline void prefetchRun(const int32_t* first, int32_t n) {
  constexpr int32_t kKeysPerLine = 16;
  constexpr int32_t kMaxLines = 8;
  for (int32_t i = 0; i < n && i < kKeysPerLine * kMaxLines; i += kKeysPerLine)
    __builtin_prefetch(first + i);
}

// How many of first[0 .. n) are < key (orEqual false) or <= key (orEqual true), for n <= 16
// or so: every key is compared.
template <bool orEqual>
inline int32_t countAll(const int32_t* first, int32_t n, int32_t key) {
  int32_t i = 0;
  int32_t count = 0;
#ifdef __SSE2__
  // Each comparison gives -1 per lane that counts; subtracting the masks adds them up. For
  // <= the lanes with key < v are counted instead and taken from the total.
  const __m128i probe = _mm_set1_epi32(key);
  __m128i sum = _mm_setzero_si128();
  for (; i + 4 <= n; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
    sum = _mm_sub_epi32(sum, orEqual ? _mm_cmpgt_epi32(v, probe) : _mm_cmpgt_epi32(probe, v));
  }
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
  count = orEqual ? i - _mm_cvtsi128_si32(sum) : _mm_cvtsi128_si32(sum);
#endif
  for (; i < n; ++i)
    count += orEqual ? first[i] <= key : first[i] < key;
  return count;
}

// How many of the 16 keys first[0 .. 16) are < key (orEqual false) or <= key (orEqual true):
// four loads and compares with no branch and no load depending on another.
template <bool orEqual>
[[gnu::always_inline]] inline int32_t countBlock(const int32_t* first, int32_t key) {
#ifdef __SSE2__
  // Each comparison gives -1 per lane that holds; the four masks are added up lane by lane and
  // then across. For <= the lanes with key < v are counted instead and taken from 16.
  const __m128i probe = _mm_set1_epi32(key);
  const auto lanes = [&](int32_t i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
    return orEqual ? _mm_cmpgt_epi32(v, probe) : _mm_cmpgt_epi32(probe, v);
  };
  __m128i sum =
      _mm_add_epi32(_mm_add_epi32(lanes(0), lanes(4)), _mm_add_epi32(lanes(8), lanes(12)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
  const int32_t counted = -_mm_cvtsi128_si32(sum);
  return orEqual ? 16 - counted : counted;
#else
  return countAll<orEqual>(first, 16, key);
#endif
}

// How many of the sorted first[0 .. n) are < key (orEqual false) or <= key (orEqual true).
// The run is cut into blocks of kCountBlock keys (one line of keys). When a block's last key
// counts, so does every key before it: one comparison per block boundary finds the block
// where the counting stops, and only that block is counted key by key. A node of 64 keys
// costs 3 comparisons and one block's count instead of counting all 64. Runs whose length is
// a multiple of the block (the default nodes and leaves) always end in a whole block.
template <bool orEqual>
[[gnu::always_inline]] inline int32_t countBelow(const int32_t* first, int32_t n, int32_t key) {
  constexpr int32_t kCountBlock = 16;
  int32_t blocks = 0;
  for (int32_t end = kCountBlock; end < n; end += kCountBlock)
    blocks += orEqual ? first[end - 1] <= key : first[end - 1] < key;
  const int32_t base = blocks * kCountBlock;
  if (n - base >= kCountBlock)
    return base + countBlock<orEqual>(first + base, key);
  return base + countAll<orEqual>(first + base, n - base, key);
}

// The first of first[0 .. n) that is >= key, or first + n: counted for runs of up to
// kLinearSearchMax keys, bisected by util::lowerBound beyond (the name keeps the two apart;
// util::lowerBound always bisects).
inline const int32_t* countedLowerBound(const int32_t* first, int32_t n, int32_t key) {
  if (n <= 0)
    return first;
  if (n <= kLinearSearchMax)
    return first + countBelow<false>(first, n, key);
  return util::lowerBound(first, n, key);
}

// The first of first[0 .. n) that is > key, or first + n: counted or bisected as
// countedLowerBound.
inline const int32_t* countedUpperBound(const int32_t* first, int32_t n, int32_t key) {
  if (n <= 0)
    return first;
  if (n <= kLinearSearchMax)
    return first + countBelow<true>(first, n, key);
  return util::upperBound(first, n, key);
}

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_KEY_SEARCH_H_
