// Valgrind: one map's run counted under valgrind's cache simulation (callgrind) instead of
// timed.
//
// countOnce() starts this program again as `mapbench counted-run ARGS` under callgrind with
// fixed simulated caches (kSimulatedCaches, never the host's); the counted process runs one
// map once on the workload its arguments describe (bench/modes/Counting.h) and sends its
// RunResult back on standard output as a forked run does (bench/run/BenchmarkRunner.h). The
// run marks its measured operations, so neither the process's start nor the fill is
// simulated or counted; the simulated caches start empty with the measured operations. The
// parent reads callgrind's totals: instructions, and first-level and last-level data misses
// (reads and writes).
//
// Counts depend only on the binary, its options and the simulated caches: every run and
// every x86-64 machine gives the same (valgrind shows every program the same CPU model, so
// the C library picks the same string functions). To keep the heap and stack of the counted
// process the same, its command line holds only the workload, never output file names, its
// environment is padded to a fixed size, and address-space randomisation is off for it.
//
// Process state: valgrind runs as a child (bench/run/ChildProcess.h) in a process group and a
// temporary folder of its own, ended at the time limit or on an interrupt, the folder removed.
#ifndef BENCH_RUN_VALGRIND_H_
#define BENCH_RUN_VALGRIND_H_

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/model/MapRegistry.h"
#include "bench/model/RunResult.h"
#include "bench/model/WorkloadConfig.h"

namespace bench {

// The first argument that makes mapbench the counted process.
inline constexpr const char* kCountedRunCommand = "counted-run";

// One simulated cache, as valgrind's --I1/--D1/--LL take it.
struct CacheGeometry {
  int64_t bytes;
  int ways;
  int lineBytes;
};

struct SimulatedCaches {
  CacheGeometry i1, d1, ll;
};

// A common desktop and server shape: 32 KiB 8-way first-level caches and an 8 MiB 16-way
// last level, 64-byte lines.
inline constexpr SimulatedCaches kSimulatedCaches = {
    {32768, 8, 64}, {32768, 8, 64}, {8388608, 16, 64}};

// "I1 32768 B 8-way, D1 32768 B 8-way, LL 8388608 B 16-way, 64 B lines".
std::string simulatedCachesText();

// The arguments of `mapbench counted-run` for one run: the workload (latency sampling off:
// clock reads and samples would be counted as the map's) and the map, nothing else (the key
// file included, as a workload field), so that the counted process's heap does not depend on
// output file names.
std::vector<std::string> countedRunArguments(const MapKind& kind, const TreeParameters& parameters,
                                             const WorkloadConfig& config);

// Valgrind's own arguments for one counted run: callgrind with the caches of
// kSimulatedCaches, counting only the marked measured operations, its totals written to
// `countsPath` and its messages to `logPath`.
std::vector<std::string> valgrindArguments(const std::string& countsPath,
                                           const std::string& logPath);

// The valgrind program on PATH, or "".
std::string findValgrind();

// Counts one run of `kind` in a process of its own under valgrind, ended when it takes longer
// than `timeLimitSeconds`. False, after one line on `err`, when it failed.
bool countOnce(const MapKind& kind, const TreeParameters& parameters, const WorkloadConfig& config,
               int timeLimitSeconds, RunResult& result, std::ostream& err);

// The totals of a callgrind output file, or nothing when it has none.
std::optional<EventCounts> parseCallgrindTotals(std::istream& in);

}  // namespace bench

#endif  // BENCH_RUN_VALGRIND_H_
