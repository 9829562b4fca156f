// LatencySampler: per-operation-type latencies from a sample of the operations.
//
// Timing every operation would cost more than many operations themselves, so the runner
// times one operation in `every` (a power of two) and keeps those durations per type.
#ifndef BENCH_LATENCY_SAMPLER_H_
#define BENCH_LATENCY_SAMPLER_H_

#include <array>
#include <cstdint>
#include <vector>

namespace bench {

enum OperationType { kInsert = 0, kErase = 1, kPointQuery = 2, kRangeQuery = 3 };
inline constexpr int kOperationTypes = 4;
inline constexpr const char* kOperationTypeNames[kOperationTypes] = {"insert", "erase", "point",
                                                                     "range"};

struct LatencySummary {
  int64_t samples = 0;
  double p50Nanos = 0;
  double p99Nanos = 0;
};

class LatencySampler {
 public:
  void add(OperationType type, int64_t nanos) { samples_[type].push_back(nanos); }

  // Nearest-rank percentiles of what was recorded for `type`; zeros when nothing was.
  LatencySummary summarize(OperationType type);

 private:
  std::array<std::vector<int64_t>, kOperationTypes> samples_;
};

}  // namespace bench

#endif  // BENCH_LATENCY_SAMPLER_H_
