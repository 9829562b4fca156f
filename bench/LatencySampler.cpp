#include "bench/LatencySampler.h"

#include <algorithm>
#include <cmath>

namespace bench {

namespace {

// The smallest sample with at least `fraction` of all samples at or below it.
double nearestRank(std::vector<int64_t>& values, double fraction) {
  const size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
  const size_t index = rank == 0 ? 0 : rank - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                   values.end());
  return static_cast<double>(values[index]);
}

}  // namespace

LatencySummary LatencySampler::summarize(OperationType type) {
  std::vector<int64_t>& values = samples_[type];
  LatencySummary summary;
  summary.samples = static_cast<int64_t>(values.size());
  if (values.empty())
    return summary;
  summary.p50Nanos = nearestRank(values, 0.50);
  summary.p99Nanos = nearestRank(values, 0.99);
  return summary;
}

}  // namespace bench
