// Sweep: mapbench's default mode, what one invocation measures, planned before anything runs.
//
// A sweep is the product of workload presets, key spaces, key distributions, maps and (for the
// trees) their (k, k_star) pairs. Planning it up front lets mapbench refuse a sweep it cannot run,
// such as a run that needs more memory than the machine has, before spending any time on the
// others. runSweep() plans, runs (or counts, bench/modes/Counting.h) every cell, and writes
// the table, the best parameter pairs and the result files.
//
// Failure rule: the checks return their refusal or nothing; runOnce() and runCell() return
// false after one line on the error stream; runSweep() returns the exit status. Process
// state: every run but --in-process ones is a forked child (bench/run/BenchmarkRunner.h),
// ended with its process group when SIGINT or SIGTERM end mapbench.
#ifndef BENCH_MODES_SWEEP_H_
#define BENCH_MODES_SWEEP_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/model/MapRegistry.h"
#include "bench/model/Results.h"
#include "bench/model/WorkloadConfig.h"
#include "bench/options/Options.h"

namespace bench {

// The workload on another key space. The fields that scale (bench/model/WorkloadFields.h: the fill)
// keep their share of the key space; those that scale unless given (the measured operations)
// too unless `fixedOperations` holds them.
WorkloadConfig scaledTo(const WorkloadConfig& base, int32_t keySpace, bool fixedOperations);

// A generous estimate of the most memory one run of `kind` takes: its entries at their most
// plus the driver's one bit per key (and 4 bytes per key of a key set).
int64_t estimatedRunBytes(const MapKind& kind, const TreeParameters& parameters,
                          const WorkloadConfig& config);

// MemAvailable from /proc/meminfo, or nothing where it cannot be read.
std::optional<int64_t> availableMemoryBytes();

// The measured mixes the sweep runs, in order: each --workload preset's, else the
// configuration's own.
std::vector<MeasuredMix> sweptWorkloads(const Options& options);

// Every cell of the sweep, in the order they are reported: workloads outermost, then key
// spaces, then distributions.
std::vector<Cell> planCells(const Options& options, const std::vector<const MapKind*>& kinds);

// Why the sweep cannot fit in the memory the machine has available, or nothing.
std::optional<std::string> memoryRefusal(const std::vector<Cell>& cells);

// One run of `kind` as the options ask (in a child process unless --in-process); on failure
// the reason goes to `err`.
bool runOnce(const MapKind& kind, const TreeParameters& parameters, const WorkloadConfig& config,
             const Options& options, RunResult& result, std::ostream& err);

// Runs the cell's repetitions: the no-op map first in each, then every measurement. Stops at
// the first failed run.
bool runCell(const Options& options, Cell& cell, std::ostream& err);

// The fastest parameter pair of each tree per workload, key space and distribution, where a
// sweep ran more than one.
void printBestPairs(std::ostream& out, const std::vector<Row>& rows);

// `mapbench [OPTIONS]`: the sweep, timed or counted; the table on `out`. The exit status:
// kSuccess, kFailure when a run failed, a map reported the wrong size or a result was not
// written, kUsageError when the sweep needs more memory than the machine has.
int runSweep(const Options& options, std::ostream& out, std::ostream& err);

// `mapbench --list`: every map and what it is.
int listMaps(std::ostream& out);

}  // namespace bench

#endif  // BENCH_MODES_SWEEP_H_
