// Options: mapbench's command line, its workload presets and its checks.
//
// parseOptions() turns the command line into Options and refuses anything it cannot run
// (an unknown map, distribution or preset, a number out of range or not in decimal, an empty
// file name, tree parameters a tree refuses, options that do not go together, outputs that
// name an input or each other) with one line on the error stream, before any run starts. The
// workload's options are those of bench/model/WorkloadFields.h, resolved in its fixed order:
// explicit ratio and range-length options override what a preset sets, and the fill is
// checked against the final key space. The count mode's defaults and checks are here too.
//
// Failure rule: the checks return their refusal (one line) or nothing; parseOptions() writes
// the refusal and returns the exit status (bench/model/ExitStatus.h). No state of its own.
#ifndef BENCH_OPTIONS_OPTIONS_H_
#define BENCH_OPTIONS_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/model/ExitStatus.h"
#include "bench/model/MapRegistry.h"
#include "bench/model/WorkloadConfig.h"
#include "bench/model/WorkloadFields.h"
#include "bench/options/SharedOptions.h"

namespace bench {

struct Options {
  std::vector<std::string> maps = {"btree", "csbtree", "abslbtree"};
  WorkloadConfig config;  // its fields are those of bench/model/WorkloadFields.h
  std::vector<test::KeyDistribution> distributions = {test::KeyDistribution::kUniform};
  // The measured mix of each --workload preset, in the list's order, each with the explicit
  // ratio and range-length options applied over it; `config` holds the first. The sweep's
  // outermost dimension; empty: `config`'s mix alone.
  std::vector<MeasuredMix> workloads;
  TreeParameters parameters;
  std::vector<std::string> parameterPairs;  // "k:k_star"
  std::vector<int32_t> parameterGrid;
  std::vector<int32_t> keySpaces;
  int repetitions = 3;
  std::string jsonPath, csvPath;
  bool inProcess = false;
  bool check = false;
  bool noProgress = false;
  bool hugePages = false;  // every map asks for transparent huge pages
  bool list = false;
  bool count = false;       // --count: instructions and simulated cache misses instead of times
  bool opsGiven = false;    // --ops given: a --key-spaces sweep keeps the measured operations
  std::string againstPath;  // another build of mapbench to time this one against
  VerdictOptions verdict;   // --against's verdicts
  // --against and --count: the longest one run of either build, or under valgrind, may take.
  int timeLimitSeconds = 0;
};

// Pairs of runs --against makes when -r does not say: the fewest for which the significance
// test can reach a verdict at alpha 0.05 is four.
inline constexpr int kAgainstPairs = 5;

// How long one run of either build under --against, or one counted run under --count, may
// take when --time-limit does not say: a cell of a 10^9-key sweep takes minutes, a hung build
// or valgrind should not hold the machine all night.
inline constexpr int kAgainstTimeLimitSeconds = 3600;

// The count mode's measured operations when the command line does not say: a cell of the
// default workload (the no-op map and the three default maps) counts in about a minute on a
// shared 2-core machine.
inline constexpr int32_t kCountMeasuredOperations = 200'000;

// Parses and checks mapbench's command line. Returns nothing when the runs may start,
// otherwise the exit status to end with (kSuccess after --help, kUsageError after a refusal).
std::optional<int> parseOptions(int argc, const char* const* argv, Options& options,
                                std::ostream& out, std::ostream& err);

// The same for the command line of one counted run (`mapbench counted-run`), which may name
// the no-op map alone.
std::optional<int> parseChildOptions(int argc, const char* const* argv, Options& options,
                                     std::ostream& out, std::ostream& err);

// "k:k_star" as two decimal 32-bit integers, or nothing.
std::optional<TreeParameters> parseParameterPair(std::string_view text);

// The (k, k_star) pairs of the trees: every --k-pairs pair, then the --k-grid square; the
// single --k/--k-star pair when neither is given.
std::vector<TreeParameters> parameterSets(const Options& options);

// Why --json or --csv cannot be written: it names the --keys file, the --against build or
// the other output, or cannot be written at all (a folder that does not exist, a dangling
// link). Nothing when they can.
std::optional<std::string> outputRefusal(const Options& options);

// --count's line in --help.
std::string countHelp();

// Sets the count mode's defaults where the command line gave none (--ops, and one
// repetition: counts do not vary). Returns why the count mode cannot run, in one line (no
// valgrind on PATH, --in-process, --check, --huge-pages, no measured operations), or nothing.
std::optional<std::string> applyCountMode(Options& options, bool opsGiven, bool repetitionsGiven);

// The maps that `names` select, in order; nullptr entries are unknown names.
std::vector<const MapKind*> selectMaps(const std::vector<std::string>& names);

}  // namespace bench

#endif  // BENCH_OPTIONS_OPTIONS_H_
