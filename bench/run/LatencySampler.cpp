#include "bench/run/LatencySampler.h"

#include <algorithm>
#include <cmath>

#include "util/Clock.h"

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

int64_t clockCostNanos() {
  // Enough pairs that a preemption or a cold line among them cannot move the median.
  constexpr int kPairs = 4001;
  std::vector<int64_t> differences(kPairs);
  for (int64_t& difference : differences) {
    const int64_t first = util::nowNanos();
    difference = util::nowNanos() - first;
  }
  return static_cast<int64_t>(nearestRank(differences, 0.50));
}

LatencySummary LatencySampler::summarize(OperationType type) {
  std::vector<int64_t>& values = samples_[type];
  LatencySummary summary;
  summary.samples = static_cast<int64_t>(values.size());
  if (values.empty())
    return summary;
  const auto net = [this](double nanos) {
    return std::max(0.0, nanos - static_cast<double>(clockCostNanos_));
  };
  summary.p50Nanos = net(nearestRank(values, 0.50));
  summary.p99Nanos = net(nearestRank(values, 0.99));
  return summary;
}

}  // namespace bench
