// Against: times this build of mapbench against another build, run by run in turns.
//
// runAgainst() goes in four steps. Plan: the sweep's cells, each with the command line of its
// workload (written from bench/WorkloadFields.h, so the other build runs exactly the
// workload this one does, key set included). Gate: both builds run each cell with --check
// --json and must push the same values. Pairs: each pair runs the cell once with this build
// and once with the other (this, other, this, other, ...), every run a separate invocation
// with its own child processes, so that both builds meet the machine in the same state; each
// writes its results as JSON, which any build of mapbench can do, so the other build may be
// an older one. Merge: the two sides are compared as `mapbench compare` does, with the
// median and range of the per-pair time ratios (this build / the other) beside the verdict.
//
// The other build is a stranger: of its standard output and error only a bounded amount is
// kept (more ends the comparison), the files it writes are bounded too, and a run that takes
// longer than the time limit is ended. On SIGINT or SIGTERM the running child's process
// group is ended and the temporary folder removed before mapbench ends by the same signal.
#ifndef BENCH_AGAINST_H_
#define BENCH_AGAINST_H_

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/Compare.h"
#include "bench/Options.h"

namespace bench {

// Runs `mapbench --against`; returns the exit status: 0, 1 when a run failed, the builds
// pushed different values, a map was slower beyond --fail-above or the --json file was not
// written, 2 when the sweep needs more memory than the machine has.
int runAgainst(const Options& options, std::ostream& out, std::ostream& err);

// What one map pushed in a --check run, by map name: what `mapbench --check --json` writes.
struct CheckFigures {
  int64_t valuesPushed = 0, valueSum = 0, queries = 0, endOfQuery = 0, size = 0;
};
using CheckReport = std::map<std::string, CheckFigures>;

Json checkReportJson(const CheckReport& report);
// The figures of a --check --json file; false, with the reason in `error`, when it has none.
bool readCheckReport(const std::string& path, CheckReport& report, std::string& error);

// The first difference between the two builds' figures of the maps `names`, or nothing.
std::optional<std::string> checkDifference(const CheckReport& here, const CheckReport& there,
                                           const std::vector<std::string>& names);

// This build's rows (the new side) judged against the other build's (the base), with the
// pair ratios this / other of runs made in turns (the repetition times, pair by pair).
Comparison compareBuilds(const ResultSet& thisBuild, const ResultSet& otherBuild, double alpha);

}  // namespace bench

#endif  // BENCH_AGAINST_H_
