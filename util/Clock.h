// nowNanos: the monotonic clock every timing in the programs reads.
//
// A steady clock with nanosecond resolution, read as a signed 64-bit count from an arbitrary
// start; only differences of two readings mean anything. Thread-safe.
#ifndef UTIL_CLOCK_H_
#define UTIL_CLOCK_H_

#include <chrono>
#include <cstdint>

namespace util {

inline int64_t nowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace util

#endif  // UTIL_CLOCK_H_
