#include "workload/Zipf.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "workload/KeyDistribution.h"

namespace test {

namespace {

// Sum of i^-theta for i = first .. last, smallest terms first.
double directSum(int64_t first, int64_t last, double theta) {
  double sum = 0.0;
  for (int64_t i = last; i >= first; --i)
    sum += std::pow(static_cast<double>(i), -theta);
  return sum;
}

// Sum of i^-s for i = m .. n by Euler-Maclaurin: the integral, the two end terms and the
// Bernoulli corrections with the first, third and fifth derivatives. For m >= 1024 the next
// correction is below 1e-25 of the sum.
double eulerMaclaurinSum(int64_t m, int64_t n, double s) {
  const double a = static_cast<double>(m);
  const double b = static_cast<double>(n);
  // (b^(1-s) - a^(1-s)) / (1-s), written with expm1 so nothing cancels when s is near 1.
  const double integral =
      std::pow(a, 1.0 - s) * std::expm1((1.0 - s) * std::log(b / a)) / (1.0 - s);
  const auto f = [s](double x) { return std::pow(x, -s); };
  const auto d1 = [s](double x) { return -s * std::pow(x, -s - 1.0); };
  const auto d3 = [s](double x) { return -s * (s + 1.0) * (s + 2.0) * std::pow(x, -s - 3.0); };
  const auto d5 = [s](double x) {
    return -s * (s + 1.0) * (s + 2.0) * (s + 3.0) * (s + 4.0) * std::pow(x, -s - 5.0);
  };
  return integral + (f(a) + f(b)) / 2.0 + (d1(b) - d1(a)) / 12.0 - (d3(b) - d3(a)) / 720.0 +
         (d5(b) - d5(a)) / 30240.0;
}

// A 64-bit multiply-xorshift mix, the round function of the Feistel network.
uint32_t mix(uint32_t half, uint64_t roundKey) {
  uint64_t h = (half ^ roundKey) * 0x9E3779B97F4A7C15ULL;
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ULL;
  h ^= h >> 32;
  return static_cast<uint32_t>(h);
}

constexpr uint64_t kRoundKeys[] = {0x2545F4914F6CDD1DULL, 0x9E6C63D0676A9A99ULL,
                                   0xB5AD4ECEDA1CE2A9ULL, 0x1B03738712FAD5C9ULL};

}  // namespace

double ZipfianRanks::zeta(int64_t n, double theta) {
  if (n <= kDirectTerms)
    return directSum(1, n, theta);
  return eulerMaclaurinSum(kDirectTerms, n, theta) + directSum(1, kDirectTerms - 1, theta);
}

ZipfianRanks::ZipfianRanks(int32_t n, double theta) : n_(n) {
  if (n < 1)
    throw std::invalid_argument("a Zipf distribution needs at least one rank");
  if (!(theta >= kMinTheta && theta <= kMaxTheta)) {
    throw std::invalid_argument("theta " + std::to_string(theta) + " is outside " +
                                std::to_string(kMinTheta) + " .. " + std::to_string(kMaxTheta));
  }
  alpha_ = 1.0 / (1.0 - theta);
  zetaN_ = zeta(n, theta);
  twoRanksBound_ = 1.0 + std::pow(0.5, theta);
  eta_ = n > 2 ? (1.0 - std::pow(2.0 / n, 1.0 - theta)) / (1.0 - twoRanksBound_ / zetaN_) : 0.0;
}

int32_t ZipfianRanks::rank(double u) const {
  const double uz = u * zetaN_;
  if (uz < 1.0)
    return 0;
  if (uz < twoRanksBound_)
    return 1;
  const double r = n_ * std::pow(eta_ * u - eta_ + 1.0, alpha_);
  // Rounding can reach n for u just below 1; the comparison also keeps a NaN out of the cast.
  return r < n_ - 1 ? static_cast<int32_t>(r) : n_ - 1;
}

KeyScrambler::KeyScrambler(int32_t n) : n_(static_cast<uint32_t>(n)) {
  if (n < 1)
    throw std::invalid_argument("a key scrambler needs at least one key");
  int bits = 0;
  while ((uint64_t{1} << bits) < n_)
    ++bits;
  lowBits_ = bits / 2;
  lowMask_ = (uint32_t{1} << lowBits_) - 1;
  highMask_ = static_cast<uint32_t>((uint64_t{1} << (bits - lowBits_)) - 1);
}

uint32_t KeyScrambler::permute(uint32_t x) const {
  // Each round replaces one half by itself XOR a function of the other half, which the
  // round can undo; so the whole network is a bijection of the 2^bits values.
  uint32_t low = x & lowMask_;
  uint32_t high = x >> lowBits_;
  low ^= mix(high, kRoundKeys[0]) & lowMask_;
  high ^= mix(low, kRoundKeys[1]) & highMask_;
  low ^= mix(high, kRoundKeys[2]) & lowMask_;
  high ^= mix(low, kRoundKeys[3]) & highMask_;
  return (high << lowBits_) | low;
}

}  // namespace test
