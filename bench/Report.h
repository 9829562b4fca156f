// Report: turns repeated runs into summary rows and writes them as a table, JSON or CSV.
//
// A row is one map with one set of tree parameters on one key space. Its times are the map's
// measured time minus the no-op map's time of the same repetition, so what remains is the
// map's own cost; the row gives their median, minimum and maximum, and the JSON every one.
// Where one of them is not above zero the run was too short to time and the row gives none.
// The three writers walk the column list of bench/Columns.h.
#ifndef BENCH_REPORT_H_
#define BENCH_REPORT_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchmarkRunner.h"
#include "bench/LatencySampler.h"
#include "bench/MapRegistry.h"

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
  // no-op map's, under valgrind's cache simulation (bench/Counting.h).
  bool counted = false;
  double instructionsPerOperation = 0, d1MissesPerOperation = 0, llMissesPerOperation = 0;
};

// The smallest difference of two peak resident sizes that says something about the map.
// Peak resident sizes are read in KiB and grow by whole 4 KiB pages, and the no-op map's
// process and the map's differ by what malloc keeps in hand as their heaps grow (its top
// pad alone is 128 KiB): with a handful of entries the two peaks were seen to differ by up to
// 144 KiB either way. Twice that pad, 64 pages, is taken as the resolution.
inline constexpr int64_t kResidentResolutionBytes = int64_t{256} << 10;

Row summarize(const Measurement& measurement);

// Where and how the figures were produced.
struct Context {
  std::string compiler, buildType, flags, commit, cpu, host, kernel, date;
  int cores = 0;
  bool hugePages = false;       // every map's malloc asked for transparent huge pages
  std::string simulatedCaches;  // count reports: the caches valgrind simulated; else ""
  static Context collect();
};

void printTable(std::ostream& out, const Context& context, const std::vector<Row>& rows);
void writeJson(std::ostream& out, const Context& context, const std::vector<Row>& rows);
// Text fields are quoted as RFC 4180 says (csvField).
void writeCsv(std::ostream& out, const Context& context, const std::vector<Row>& rows);

// `text` as one CSV field: in double quotes, its quotes doubled, when it holds a comma, a
// quote or a line break; else as it is.
std::string csvField(const std::string& text);

}  // namespace bench

#endif  // BENCH_REPORT_H_
