#include "workload/Random.h"

namespace test {

namespace {
constexpr uint64_t kMultiplier = 0x5DEECE66DULL;
constexpr uint64_t kIncrement = 0xBULL;
constexpr uint64_t kMask = (uint64_t{1} << 48) - 1;
}  // namespace

Random::Random(int64_t seed) : state_((static_cast<uint64_t>(seed) ^ kMultiplier) & kMask) {}

int32_t Random::next(int bits) {
  state_ = (state_ * kMultiplier + kIncrement) & kMask;
  return static_cast<int32_t>(static_cast<uint32_t>(state_ >> (48 - bits)));
}

int32_t Random::nextInt(int32_t bound) {
  if ((bound & -bound) == bound) {  // a power of two: take the high bits
    return static_cast<int32_t>((static_cast<int64_t>(bound) * next(31)) >> 31);
  }
  int32_t bits;
  int32_t val;
  do {
    bits = next(31);
    val = bits % bound;
    // Reject draws from the incomplete last block of `bound` values, where
    // bits - val + (bound - 1) wraps past the largest int.
  } while (static_cast<int32_t>(static_cast<uint32_t>(bits) - static_cast<uint32_t>(val) +
                                static_cast<uint32_t>(bound - 1)) < 0);
  return val;
}

double Random::nextDouble() {
  const int64_t high = next(26);
  const int64_t low = next(27);
  return static_cast<double>((high << 27) + low) * 0x1.0p-53;
}

}  // namespace test
