// Random: the 48-bit linear congruential generator that drives the workload.
//
// state' = (state * 0x5DEECE66D + 0xB) mod 2^48; next(b) is the top b bits of the new state.
// The stream for a given seed is fixed bit for bit, because the workload's operation
// sequence, and so every expected size the driver prints, follows from it.
//
// Not thread-safe.
#ifndef WORKLOAD_RANDOM_H_
#define WORKLOAD_RANDOM_H_

#include <cstdint>

namespace test {

class Random {
 public:
  explicit Random(int64_t seed);

  // A value in [0, bound); bound must be positive.
  int32_t nextInt(int32_t bound);
  // A value in [0, 1) with 53 random bits.
  double nextDouble();

 private:
  int32_t next(int bits);

  uint64_t state_;
};

}  // namespace test

#endif  // WORKLOAD_RANDOM_H_
