#include "bench/model/Statistics.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace bench {

namespace {

constexpr size_t kExactLimit = 50;

// How many of the C(n1 + n2, n1) equally likely rank sets give each U from 0 to n1 * n2,
// counted over the rank sums of n1 ranks drawn from 1 .. n1 + n2.
std::vector<double> exactCounts(size_t n1, size_t n2) {
  const size_t n = n1 + n2;
  const size_t maxSum = n1 * (2 * n - n1 + 1) / 2;
  // ways[k][s]: subsets of size k of the ranks seen so far whose sum is s.
  std::vector<std::vector<double>> ways(n1 + 1, std::vector<double>(maxSum + 1, 0));
  ways[0][0] = 1;
  for (size_t rank = 1; rank <= n; ++rank) {
    for (size_t k = std::min(rank, n1); k >= 1; --k) {
      for (size_t s = maxSum; s >= rank; --s)
        ways[k][s] += ways[k - 1][s - rank];
    }
  }
  const size_t minSum = n1 * (n1 + 1) / 2;
  return std::vector<double>(ways[n1].begin() + static_cast<std::ptrdiff_t>(minSum),
                             ways[n1].begin() + static_cast<std::ptrdiff_t>(minSum + n1 * n2 + 1));
}

double exactPValue(double u, size_t n1, size_t n2) {
  const std::vector<double> counts = exactCounts(n1, n2);
  double total = 0, atMost = 0, atLeast = 0;
  for (size_t value = 0; value < counts.size(); ++value) {
    total += counts[value];
    if (static_cast<double>(value) <= u)
      atMost += counts[value];
    if (static_cast<double>(value) >= u)
      atLeast += counts[value];
  }
  const double tail = u > static_cast<double>(n1 * n2) / 2 ? atLeast : atMost;
  return std::min(1.0, 2 * tail / total);
}

double upperNormalTail(double z) {
  return 0.5 * std::erfc(z / std::sqrt(2.0));
}

}  // namespace

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n == 0)
    return 0;
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

UTestResult mannWhitneyU(const std::vector<double>& x, const std::vector<double>& y) {
  const size_t n1 = x.size(), n2 = y.size(), n = n1 + n2;
  // Midranks of the pooled sample; tieTerm collects t^3 - t over every run of t equal values.
  std::vector<std::pair<double, bool>> pooled;  // value, from x
  for (double value : x)
    pooled.emplace_back(value, true);
  for (double value : y)
    pooled.emplace_back(value, false);
  std::sort(pooled.begin(), pooled.end());
  double rankSumX = 0, tieTerm = 0;
  for (size_t start = 0; start < n;) {
    size_t end = start + 1;
    while (end < n && pooled[end].first == pooled[start].first)
      ++end;
    const double midrank =
        static_cast<double>(start + end + 1) / 2;  // ranks start .. end-1, 1-based
    for (size_t i = start; i < end; ++i) {
      if (pooled[i].second)
        rankSumX += midrank;
    }
    const double t = static_cast<double>(end - start);
    tieTerm += t * t * t - t;
    start = end;
  }
  UTestResult result;
  result.u = rankSumX - static_cast<double>(n1 * (n1 + 1)) / 2;
  if (n1 < kExactLimit && n2 < kExactLimit && tieTerm == 0) {
    result.exact = true;
    result.p = exactPValue(result.u, n1, n2);
    return result;
  }
  const double products = static_cast<double>(n1 * n2);
  const double variance = products / 12 *
                          (static_cast<double>(n + 1) -
                           tieTerm / (static_cast<double>(n) * static_cast<double>(n - 1)));
  const double distance = std::fabs(result.u - products / 2);
  if (variance <= 0 || distance == 0) {
    result.p = 1;  // every value equal, or U at its centre: no evidence either way
    return result;
  }
  result.p = std::min(1.0, 2 * upperNormalTail(std::fabs(distance - 0.5) / std::sqrt(variance)));
  return result;
}

double smallestPValue(size_t n1, size_t n2) {
  if (n1 == 0 || n2 == 0)
    return 1;
  // Both extreme arrangements, out of C(n1 + n2, n1).
  double arrangements = 1;
  for (size_t i = 1; i <= std::min(n1, n2); ++i)
    arrangements =
        arrangements * static_cast<double>(std::max(n1, n2) + i) / static_cast<double>(i);
  return std::min(1.0, 2 / arrangements);
}

}  // namespace bench
