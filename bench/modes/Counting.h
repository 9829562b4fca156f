// Counting: mapbench --count, each map's measured operations counted under valgrind's cache
// simulation instead of timed (bench/run/Valgrind.h counts one run).
//
// countCell() counts a cell's repetitions as runCell() times them: the no-op map's run first
// in each, its counts subtracted from each map's as its time is. runCountedChild() is the
// process valgrind counts: `mapbench counted-run ARGS` runs one map once on the workload its
// arguments describe and sends the RunResult to standard output.
//
// Failure rule: countCell() returns false after one line on the error stream. Process state:
// while countCell() runs, an InterruptScope (bench/run/ChildProcess.h) catches SIGINT and
// SIGTERM; the running valgrind's group is ended and its folder removed before mapbench ends
// by the same signal.
#ifndef BENCH_MODES_COUNTING_H_
#define BENCH_MODES_COUNTING_H_

#include <ostream>

#include "bench/model/Results.h"
#include "bench/options/Options.h"

namespace bench {

// Counts the cell's repetitions as runCell() times them: the no-op map first in each.
bool countCell(const Options& options, Cell& cell, std::ostream& err);

// `mapbench counted-run ARGS` (argv[0] is "counted-run"): the process valgrind counts.
// Writes 'R' and the RunResult's bytes to standard output, or 'E' and the failure; returns
// the exit status.
int runCountedChild(int argc, const char* const* argv);

}  // namespace bench

#endif  // BENCH_MODES_COUNTING_H_
