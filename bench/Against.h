// Against: times this build of mapbench against another build, run by run in turns.
//
// For every cell of the sweep, both builds first run it with --check and must push the same
// values. Then each pair runs the cell once with this build and once with the other
// (this, other, this, other, ...), every run a separate invocation with its own child
// processes, so that both builds meet the machine in the same state. Each invocation writes
// its results as JSON, which any build of mapbench can do, so the other build may be an
// older one. The two sides are then compared as `mapbench compare` does, with the median and
// range of the per-pair time ratios beside the verdict.
#ifndef BENCH_AGAINST_H_
#define BENCH_AGAINST_H_

#include <ostream>
#include <string>
#include <vector>

#include "bench/Options.h"

namespace bench {

// Runs `mapbench --against`; returns the exit status: 0, 1 when a run failed, the builds
// pushed different values, a map was slower beyond --fail-above or the --json file was not
// written.
int runAgainst(const Options& options, std::ostream& out, std::ostream& err);

// The command-line arguments that make mapbench run `config`'s workload.
std::vector<std::string> workloadArguments(const WorkloadConfig& config);

}  // namespace bench

#endif  // BENCH_AGAINST_H_
