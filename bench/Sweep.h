// Sweep: what one mapbench invocation measures, planned before anything runs.
//
// A sweep is the product of key spaces, key distributions, maps and (for the trees) their
// (k, k_star) pairs. Planning it up front lets mapbench refuse a sweep it cannot run, such
// as tree parameters a tree rejects or a run that needs more memory than the machine has,
// before spending any time on the others.
#ifndef BENCH_SWEEP_H_
#define BENCH_SWEEP_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchmarkRunner.h"
#include "bench/MapRegistry.h"
#include "bench/Report.h"

namespace bench {

struct Options;

// "k:k_star" as two decimal 32-bit integers, or nothing.
std::optional<TreeParameters> parseParameterPair(std::string_view text);

// The (k, k_star) pairs of the trees: every --k-pairs pair, then the --k-grid square; the
// single --k/--k-star pair when neither is given.
std::vector<TreeParameters> parameterSets(const Options& options);

// The workload on another key space. The fields that scale (bench/WorkloadFields.h: the fill)
// keep their share of the key space; those that scale unless given (the measured operations)
// too unless `fixedOperations` holds them.
WorkloadConfig scaledTo(const WorkloadConfig& base, int32_t keySpace, bool fixedOperations);

// Why `kind` cannot be built with `parameters` (the map's own message), or nothing.
std::optional<std::string> refusalOf(const MapKind& kind, const TreeParameters& parameters);

// A generous estimate of the most memory one run of `kind` takes: its entries at their most
// plus the driver's one bit per key (and 4 bytes per key of a key set).
int64_t estimatedRunBytes(const MapKind& kind, const TreeParameters& parameters,
                          const WorkloadConfig& config);

// MemAvailable from /proc/meminfo, or nothing where it cannot be read.
std::optional<int64_t> availableMemoryBytes();

// The measurements that share one workload (key space and distribution), and so the no-op
// map's run of each repetition.
struct Cell {
  WorkloadConfig config;
  std::vector<Measurement> measurements;
};

// Every cell of the sweep, in the order they are reported.
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

}  // namespace bench

#endif  // BENCH_SWEEP_H_
