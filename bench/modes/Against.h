// Against: times this build of mapbench against another build, run by run in turns.
//
// runAgainst() goes in four steps. Plan: the sweep's cells, each with the command line of its
// workload (written from bench/model/WorkloadFields.h, so the other build runs exactly the
// workload this one does, key set included). Gate: both builds run each cell with --check
// --json and must push the same values. Pairs: each pair runs the cell once with this build
// and once with the other (this, other, this, other, ...), every run a separate invocation
// with its own child processes, so that both builds meet the machine in the same state; each
// writes its results as JSON, which any build of mapbench can do, so the other build may be
// an older one. Merge: the two sides are compared as `mapbench compare` does, with the
// median and range of the per-pair time ratios (this build / the other) beside the verdict.
//
// The other build is a stranger: every run of either build is a child (bench/run/
// ChildProcess.h) of which only a bounded amount of standard output and error is kept (more
// ends the comparison), whose files are bounded each and together, and which is ended when it
// takes longer than the time limit.
//
// Failure rule: runAgainst() returns the exit status after one line naming what failed.
// Process state: while it runs, SIGINT and SIGTERM are caught; the running child's process
// group is ended and the temporary folder removed before mapbench ends by the same signal.
#ifndef BENCH_MODES_AGAINST_H_
#define BENCH_MODES_AGAINST_H_

#include <ostream>

#include "bench/modes/Compare.h"
#include "bench/options/Options.h"

namespace bench {

// Runs `mapbench --against`; returns the exit status: 0, 1 when a run failed, the builds
// pushed different values, a map was slower beyond --fail-above or the --json file was not
// written, 2 when the sweep needs more memory than the machine has.
int runAgainst(const Options& options, std::ostream& out, std::ostream& err);

// This build's rows (the new side) judged against the other build's (the base), with the
// pair ratios this / other of runs made in turns (the repetition times, pair by pair).
Comparison compareBuilds(const ResultSet& thisBuild, const ResultSet& otherBuild, double alpha);

}  // namespace bench

#endif  // BENCH_MODES_AGAINST_H_
