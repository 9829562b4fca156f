// LatencySampler: per-operation-type latencies from a sample of the operations.
//
// Timing every operation would cost more than many operations themselves, so the runner
// times one operation in `every` (a power of two) and keeps those durations per type.
// A sampled duration also holds the clock's own cost (on a virtual machine's clock some
// tens of ns, a tenth of a lookup): the summaries take it out, as measured by
// clockCostNanos() and handed to setClockCost(). Not thread-safe; one sampler per run.
#ifndef BENCH_RUN_LATENCY_SAMPLER_H_
#define BENCH_RUN_LATENCY_SAMPLER_H_

#include <array>
#include <cstdint>
#include <vector>

#include "bench/model/RunResult.h"

namespace bench {

// What two back-to-back readings of util::nowNanos() differ by, the median of many: the
// share of the clock in a duration timed between two readings.
int64_t clockCostNanos();

class LatencySampler {
 public:
  void add(OperationType type, int64_t nanos) { samples_[type].push_back(nanos); }
  // Taken from every percentile (which stays at least 0). 0 until set.
  void setClockCost(int64_t nanos) { clockCostNanos_ = nanos; }
  int64_t clockCost() const { return clockCostNanos_; }

  // Nearest-rank percentiles of what was recorded for `type`, less the clock's cost; zeros
  // when nothing was.
  LatencySummary summarize(OperationType type);

 private:
  std::array<std::vector<int64_t>, kOperationTypes> samples_;
  int64_t clockCostNanos_ = 0;
};

}  // namespace bench

#endif  // BENCH_RUN_LATENCY_SAMPLER_H_
