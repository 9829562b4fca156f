// RunResult: what one run of one map measured, as plain data.
//
// The operation types and their latency summaries, the values a map pushed (for checking maps
// against each other), the counts of a run under valgrind, and the run's result as a whole.
// RunResult is trivially copyable, so that a child process can hand it to its parent as
// bytes (bench/run/BenchmarkRunner.h).
#ifndef BENCH_MODEL_RUN_RESULT_H_
#define BENCH_MODEL_RUN_RESULT_H_

#include <cstdint>
#include <type_traits>

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

// What pushed values a map delivered over both runs, for cross-checking maps.
struct CheckSums {
  int64_t valuesPushed = 0;
  int64_t valueSum = 0;
  int64_t queries = 0;     // point and range queries issued by the driver
  int64_t endOfQuery = 0;  // thatsallfolks() calls received (the trees make one per query)
};

// What valgrind's cache simulation counted in the measured run (bench/run/Valgrind.h); all
// zero for a run that was not counted.
struct EventCounts {
  bool counted = false;
  int64_t instructions = 0;
  int64_t d1Misses = 0;  // first-level data cache, reads and writes
  int64_t llMisses = 0;  // last-level cache, data reads and writes
};

struct RunResult {
  int64_t measuredNanos = 0;
  int64_t expectedSize = 0;  // keys the driver's bookkeeping says are present
  int64_t reportedSize = 0;  // the map's size()
  int64_t operations[kOperationTypes] = {};
  LatencySummary latency[kOperationTypes] = {};
  int64_t peakResidentBytes = 0;
  int64_t allocatedBytes = -1;  // exact allocation when the map reports it, else -1
  int64_t hugePageBytes = 0;    // anonymous memory in huge pages at the end of the run
  int64_t clockCostNanos = 0;   // taken from the sampled latencies (0 when none were sampled)
  CheckSums check;
  EventCounts counts;
};

static_assert(std::is_trivially_copyable_v<RunResult>);

}  // namespace bench

#endif  // BENCH_MODEL_RUN_RESULT_H_
