// Results: what a sweep measured, as plain data, and its summary rows.
//
// A Measurement holds every run of one map with one parameter pair in one cell (key space
// and distribution), with the no-op map's run of the same repetition; a Cell holds the
// measurements that share a workload; a Row is a measurement summarized for the outputs
// (bench/output/Report.h), whose columns are described in bench/model/Columns.h. A row's
// times are the map's measured time minus the no-op map's time of the same repetition, so
// what remains is the map's own cost; where one of them is not above zero the run was too
// short to time and the row gives none. Context says where and how the figures came about.
//
// Plain data and pure functions; safe from any thread.
#ifndef BENCH_MODEL_RESULTS_H_
#define BENCH_MODEL_RESULTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "bench/model/MapRegistry.h"
#include "bench/model/RunResult.h"
#include "bench/model/WorkloadConfig.h"

namespace bench {

// Everything measured for one map, parameter pair and key space.
struct Measurement {
  std::string map;
  bool usesTreeParameters = false;
  TreeParameters parameters;
  WorkloadConfig config;
  std::vector<RunResult> runs;       // one per repetition
  std::vector<RunResult> baselines;  // the no-op map's run of the same repetition
};

struct Row {
  std::string map;
  bool usesTreeParameters = false;
  TreeParameters parameters;
  WorkloadConfig config;
  int repetitions = 0;
  std::vector<double> repetitionSeconds;  // one per repetition, in the order they ran
  double medianSeconds = 0, minSeconds = 0, maxSeconds = 0;
  // A repetition's run was not longer than the no-op map's: its time is below what the clock
  // resolves, the row has no times (they stay 0 and the outputs show none).
  bool tooShortToTime = false;
  double nanosPerOperation = 0;
  double millionOperationsPerSecond = 0;
  // Bytes the map had allocated at the end of the run per entry, exact; negative for a map
  // that cannot tell.
  double bytesPerEntry = -1;
  // The run's peak resident size over the no-op map's per entry: what the process really
  // used, heap overhead and the run's high-water mark included. Negative when the difference
  // (median over the repetitions) is below kResidentResolutionBytes.
  double residentBytesPerEntry = 0;
  // Anonymous memory in huge pages at the end of the map's run (median over repetitions).
  int64_t hugePageBytes = 0;
  // Latencies net of the clock's cost of a reading (clockCostNanos, median over repetitions).
  LatencySummary latency[kOperationTypes];
  int64_t clockCostNanos = 0;
  int64_t operations[kOperationTypes] = {};  // of each type in the measured run
  int64_t expectedSize = 0, reportedSize = 0;
  // Count reports (mapbench --count): the map's counts per measured operation minus the
  // no-op map's, under valgrind's cache simulation (bench/run/Valgrind.h).
  bool counted = false;
  double instructionsPerOperation = 0, d1MissesPerOperation = 0, llMissesPerOperation = 0;
};

// The smallest difference of two peak resident sizes that says something about the map.
// Peak resident sizes are read in KiB and grow by whole 4 KiB pages, and the no-op map's
// process and the map's differ by what malloc keeps in hand as their heaps grow (its top
// pad alone is 128 KiB): with a handful of entries the two peaks were seen to differ by up to
// 144 KiB either way. Twice that pad, 64 pages, is taken as the resolution.
inline constexpr int64_t kResidentResolutionBytes = int64_t{256} << 10;

// The row of a measurement: its times less the no-op map's of the same repetition, their
// median, minimum and maximum, and the medians of its other figures (with its counts, when
// the runs were counted).
Row summarize(const Measurement& measurement);

// Fills the row's counts per operation (the map's minus the no-op map's), when the runs
// were counted.
void summarizeCounts(const Measurement& measurement, Row& row);

// Where and how the figures were produced (bench/run/MachineContext.h collects it).
struct Context {
  std::string compiler, buildType, flags, commit, cpu, host, kernel, date;
  int cores = 0;
  bool hugePages = false;       // every map's malloc asked for transparent huge pages
  std::string simulatedCaches;  // count reports: the caches valgrind simulated; else ""
};

// The measurements that share one workload (key space and distribution), and so the no-op
// map's run of each repetition.
struct Cell {
  WorkloadConfig config;
  std::vector<Measurement> measurements;
};

}  // namespace bench

#endif  // BENCH_MODEL_RESULTS_H_
