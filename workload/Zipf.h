// ZipfianRanks and KeyScrambler: the pieces of a skewed key distribution.
//
// ZipfianRanks maps one uniform double u in [0, 1) to a rank in 0 .. n - 1 whose probability
// is approximately proportional to 1 / (rank + 1)^theta, with the closed-form inversion of
// Gray et al. ("Quickly generating billion-record synthetic databases", SIGMOD 1994): ranks 0
// and 1 get their exact shares 1 / zeta(n) and 2^-theta / zeta(n); the rest follow
//   rank = n * (eta * u - eta + 1)^(1 / (1 - theta)),
//   eta = (1 - (2 / n)^(1 - theta)) / (1 - zeta(2) / zeta(n)),
// where zeta(n) = sum of i^-theta for i = 1 .. n. Rank 0 is the most frequent. One draw costs
// one pow(); construction costs O(1) whatever n is (see zeta()).
//
// KeyScrambler is a fixed bijection of 0 .. n - 1 (a four-round Feistel network over the
// smallest power of two >= n, walking the cycle until it lands below n), so that ranks that
// are neighbours become keys far apart.
//
// Both are immutable after construction and so thread-safe.
#ifndef WORKLOAD_ZIPF_H_
#define WORKLOAD_ZIPF_H_

#include <cstdint>

namespace test {

class ZipfianRanks {
 public:
  // n >= 1 ranks; theta within kMinTheta .. kMaxTheta (workload/KeyDistribution.h). Anything
  // else throws std::invalid_argument.
  ZipfianRanks(int32_t n, double theta);

  // The rank for a uniform draw u in [0, 1).
  int32_t rank(double u) const;

  int32_t size() const { return n_; }
  // The normalising constant zeta(n, theta): rank 0 is drawn with probability 1 / zetaN().
  double zetaN() const { return zetaN_; }

  // sum of i^-theta for i = 1 .. n (0 < theta < 1, n >= 0): summed term by term up to
  // kDirectTerms, beyond that the first kDirectTerms - 1 terms plus an Euler-Maclaurin
  // expansion of the rest, accurate to the double's precision.
  static double zeta(int64_t n, double theta);
  static constexpr int64_t kDirectTerms = 1024;

 private:
  int32_t n_;
  double alpha_;          // 1 / (1 - theta)
  double zetaN_;          // zeta(n, theta)
  double eta_;            // see above; unused when n <= 2
  double twoRanksBound_;  // 1 + 2^-theta = zeta(2, theta): u * zetaN below it gives rank <= 1
};

class KeyScrambler {
 public:
  // A bijection of 0 .. n - 1; n >= 1.
  explicit KeyScrambler(int32_t n);

  int32_t operator()(int32_t x) const {
    uint32_t y = permute(static_cast<uint32_t>(x));
    while (y >= n_)  // y stays on x's cycle, which comes back below n at the latest at x
      y = permute(y);
    return static_cast<int32_t>(y);
  }

 private:
  uint32_t permute(uint32_t x) const;

  uint32_t n_;
  int lowBits_;
  uint32_t lowMask_;
  uint32_t highMask_;
};

}  // namespace test

#endif  // WORKLOAD_ZIPF_H_
