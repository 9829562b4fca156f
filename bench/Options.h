// Options: mapbench's command line, its workload presets and its checks.
//
// parseOptions() turns the command line into Options and refuses anything it cannot run
// (an unknown map, distribution or preset, a number out of range or not in decimal, an empty
// file name, tree parameters a tree refuses, options that do not go together) with one line
// on the error stream, before any run starts. The workload's options are those of
// bench/WorkloadFields.h, resolved in its fixed order: explicit ratio and range-length
// options override what a preset sets, and the fill is checked against the final key space.
#ifndef BENCH_OPTIONS_H_
#define BENCH_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchmarkRunner.h"
#include "bench/MapRegistry.h"
#include "bench/SharedOptions.h"
#include "bench/WorkloadFields.h"

namespace bench {

struct Options {
  std::vector<std::string> maps = {"btree", "csbtree", "abslbtree"};
  WorkloadConfig config;  // its fields are those of bench/WorkloadFields.h
  std::vector<test::KeyDistribution> distributions = {test::KeyDistribution::kUniform};
  std::string workload = "default";  // the preset the measured mix came from
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
  bool count = false;        // --count: instructions and simulated cache misses instead of times
  bool opsGiven = false;     // --ops given: a --key-spaces sweep keeps the measured operations
  std::string againstPath;   // another build of mapbench to time this one against
  VerdictOptions verdict;    // --against's verdicts
  int timeLimitSeconds = 0;  // --against: the longest one run of either build may take
};

// Pairs of runs --against makes when -r does not say: the fewest for which the significance
// test can reach a verdict at alpha 0.05 is four.
inline constexpr int kAgainstPairs = 5;

// How long one run of either build may take under --against when --time-limit does not say:
// a cell of a 10^9-key sweep takes minutes, a hung build should not hold the machine all night.
inline constexpr int kAgainstTimeLimitSeconds = 3600;

// Exit status of a refused command line.
inline constexpr int kUsageError = 2;

// Parses and checks the command line. Returns nothing when the runs may start, otherwise the
// exit status to end with (0 after --help, kUsageError after a refusal).
std::optional<int> parseOptions(int argc, const char* const* argv, Options& options,
                                std::ostream& out, std::ostream& err);

// The maps that `names` select, in order; nullptr entries are unknown names.
std::vector<const MapKind*> selectMaps(const std::vector<std::string>& names);

}  // namespace bench

#endif  // BENCH_OPTIONS_H_
