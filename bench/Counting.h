// Counting: mapbench --count, each map's measured operations counted under valgrind's cache
// simulation instead of timed.
//
// Every run, the no-op map's and each map's, is a fresh process of this program started
// under valgrind's callgrind tool with fixed simulated caches (kSimulatedCaches, never the
// host's): `mapbench counted-run ARGS` runs one map once on the workload its arguments
// describe and writes the RunResult to standard output. The run marks its measured
// operations (BenchmarkRunner.h), so neither the process's start nor the fill is simulated
// or counted; the simulated caches start empty with the measured operations. The parent
// reads callgrind's totals: instructions, and first-level and last-level data misses (reads
// and writes). The no-op map's counts are subtracted from each map's, as its time is.
//
// Counts depend only on the binary, its options and the simulated caches: every run and
// every x86-64 machine gives the same (valgrind shows every program the same CPU model, so
// the C library picks the same string functions). To keep the heap and stack of the counted
// process the same, its command line holds only the workload, never output file names, and
// address-space randomisation is off for it.
//
// Functions only; nothing is shared between threads.
#ifndef BENCH_COUNTING_H_
#define BENCH_COUNTING_H_

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "bench/BenchmarkRunner.h"
#include "bench/Report.h"
#include "bench/Sweep.h"

namespace bench {

struct Options;

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

// The count mode's measured operations when the command line does not say: a cell of the
// default workload (the no-op map and the three default maps) counts in about a minute on a
// shared 2-core machine.
inline constexpr int32_t kCountMeasuredOperations = 200'000;

// --count's line in --help.
std::string countHelp();

// Sets the count mode's defaults where the command line gave none (--ops, and one
// repetition: counts do not vary). Returns why the count mode cannot run, in one line (no
// valgrind on PATH, --in-process), or nothing.
std::optional<std::string> applyCountMode(Options& options, bool opsGiven, bool repetitionsGiven);

// The valgrind program on PATH, or "".
std::string findValgrind();

// Counts one run of `kind` in a process of its own under valgrind; on failure the reason
// goes to `err`.
bool countOnce(const MapKind& kind, const TreeParameters& parameters, const WorkloadConfig& config,
               RunResult& result, std::ostream& err);

// Counts the cell's repetitions as runCell() times them: the no-op map first in each.
bool countCell(const Options& options, Cell& cell, std::ostream& err);

// `mapbench counted-run ARGS` (argv[0] is "counted-run"): the process valgrind counts.
// Writes 'R' and the RunResult's bytes to standard output, or 'E' and the failure; returns
// the exit status.
int runCountedChild(int argc, const char* const* argv);

// The totals of a callgrind output file, or nothing when it has none.
std::optional<EventCounts> parseCallgrindTotals(std::istream& in);

// Fills the row's counts per operation (the map's minus the no-op map's), when the runs
// were counted.
void summarizeCounts(const Measurement& measurement, Row& row);

// The table's footer for count reports.
void printCountFooter(std::ostream& out);

}  // namespace bench

#endif  // BENCH_COUNTING_H_
