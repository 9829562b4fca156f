// Rank searches over the sorted keys of one node block, with SSE2 (which every x86-64 has).
//
// A block is whole 64-byte lines on a line boundary: a header of one to three ints, then
// the sorted keys, then whatever the node keeps after them. Instead of bisecting, a search
// compares every key slot of a line with the searched key at once and turns the comparisons
// into a bit mask; since the used keys are sorted, the bits of the keys on one side of the
// searched key form a run from the first key, and its length is the answer. Slots past the
// used keys hold stale ints, which only change the run beyond the used keys, so the rank is
// cut at the key count. A search reads whole lines of the block and nothing past the line
// of its last key, so any block of whole lines that holds its keys can be searched.
//
// rankNotAbove reads every line of keys without a branch (for inner nodes, which sit in the
// cache, where a mispredicted branch would cost more than the loads); rankBelowByLine stops
// at the line where the answer lies (for leaves, which are more often far away in memory,
// where a line left alone is worth a branch). Thread-safe: pure functions.
#ifndef UTIL_BLOCK_RANK_H_
#define UTIL_BLOCK_RANK_H_

#include <emmintrin.h>

#include <bit>
#include <cstdint>
#include <utility>

namespace util {

inline constexpr int kRankLineInts = 16;
// The most lines a branch-free search reads (one 64-bit mask).
inline constexpr int kRankMaxLines = 4;

// The lines that hold `header` ints and `capacity` keys from a block's start; 0 where they
// exceed kRankMaxLines (the caller then bisects).
constexpr int keyLinesFor(int32_t header, int32_t capacity) {
  const int64_t lines = (int64_t{header} + capacity + kRankLineInts - 1) / kRankLineInts;
  return lines <= kRankMaxLines ? static_cast<int>(lines) : 0;
}

namespace internal {

// Bit i: lane i of `line` compared with the key by `Compare` (_mm_cmplt_epi32 or
// _mm_cmpgt_epi32). Four compares pack into sixteen bytes, whose signs one movemask reads.
template <__m128i (*Compare)(__m128i, __m128i)>
[[gnu::always_inline]] inline uint32_t lineMask(const int32_t* line, __m128i key) {
  const auto* v = reinterpret_cast<const __m128i*>(line);
  const __m128i low =
      _mm_packs_epi32(Compare(_mm_load_si128(v), key), Compare(_mm_load_si128(v + 1), key));
  const __m128i high =
      _mm_packs_epi32(Compare(_mm_load_si128(v + 2), key), Compare(_mm_load_si128(v + 3), key));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
}

[[gnu::always_inline]] inline __m128i lessThan(__m128i a, __m128i b) {
  return _mm_cmplt_epi32(a, b);
}
[[gnu::always_inline]] inline __m128i greaterThan(__m128i a, __m128i b) {
  return _mm_cmpgt_epi32(a, b);
}

}  // namespace internal

// The number of keys <= `key` among keys[0 .. count), keys starting at block + Header: the
// first position whose key is greater (an upper bound), which is the child an inner node
// sends `key` to. Reads all `Lines` lines. REQUIRES: 1 <= Lines <= kRankMaxLines,
// Header + count <= 16 x Lines.
template <int Lines, int Header>
[[gnu::always_inline]] inline int32_t rankNotAbove(const int32_t* block, int32_t count,
                                                   int32_t key) {
  static_assert(Lines >= 1 && Lines <= kRankMaxLines && Header >= 0 && Header < 4);
  const __m128i k = _mm_set1_epi32(key);
  uint64_t above = 0;
  [&]<int... L>(std::integer_sequence<int, L...>) {
    ((above |= uint64_t{internal::lineMask<internal::greaterThan>(block + kRankLineInts * L, k)}
               << (kRankLineInts * L)),
     ...);
  }
  (std::make_integer_sequence<int, Lines>{});
  // The run of keys not above `key` ends at the first key above it; the top bit ends it
  // where every lane read was not above.
  const auto run = static_cast<int32_t>(std::countr_zero((above >> Header) | (uint64_t{1} << 63)));
  return run < count ? run : count;
}

// The number of keys below `key` among keys[0 .. count), keys starting at block + Header:
// the first position whose key is >= key (a leftmost lower bound). Reads one line after
// another and stops at the line where the answer lies, so a search that ends in the first
// line never reads the second. REQUIRES: Header + count ints readable, in whole lines.
template <int Header>
[[gnu::always_inline]] inline int32_t rankBelowByLine(const int32_t* block, int32_t count,
                                                      int32_t key) {
  static_assert(Header >= 0 && Header < 4);
  const __m128i k = _mm_set1_epi32(key);
  // The header's lanes count as below, so that the run starts at the line's first lane.
  uint32_t below = internal::lineMask<internal::lessThan>(block, k) | ((1u << Header) - 1);
  int32_t first = -Header;  // the key in lane 0 of the line
  for (;;) {
    const auto run = static_cast<int32_t>(std::countr_zero(~below | (1u << kRankLineInts)));
    if (run < kRankLineInts || first + kRankLineInts >= count) {
      const int32_t pos = first + run;
      return pos < count ? pos : count;
    }
    block += kRankLineInts;
    first += kRankLineInts;
    below = internal::lineMask<internal::lessThan>(block, k);
  }
}

}  // namespace util

#endif  // UTIL_BLOCK_RANK_H_
