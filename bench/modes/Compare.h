// Compare: sets two mapbench results side by side and judges each difference.
//
// Rows match on the map, its parameters and the sweep's cell (key space and distribution);
// when each side holds a single cell, on the map and its parameters alone. For every matched
// row it gives both median times and their ratio (new / base), the p50 ratios per operation
// type, both sides' bytes per entry, and a verdict from a two-sided Mann-Whitney U test over
// the two sides' repetition times. Two count reports (mapbench --count) get the exact
// difference and ratio of each count instead, since counts do not vary between runs.
// Differences in the rest of the workload or in the
// machine are reported as warnings, never silently compared. Which JSON members these are
// comes from the column list (bench/model/Columns.h).
//
// Failure rule: readResults() returns its refusal or nothing; reportComparison() and
// runCompare() return the exit status (bench/model/ExitStatus.h) after one line per failure.
// Plain functions over JSON values; nothing is shared.
#ifndef BENCH_MODES_COMPARE_H_
#define BENCH_MODES_COMPARE_H_

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/model/Columns.h"
#include "bench/model/Statistics.h"

namespace bench {

// One side: a results file, or a build's runs.
struct ResultSet {
  std::string name;
  Json context = Json::object();
  std::vector<Json> rows;  // as the JSON report writes them
};

// Reads a JSON report of mapbench into `results`; the refusal (one line) when it cannot: a
// folder, a file too large or nested too deep to be a report, or a row whose times are not
// finite and above zero, whose median is not that of its times, or whose other figures are
// negative or not finite.
std::optional<std::string> readResults(const std::string& path, ResultSet& results);

// Whether `results` holds counts (mapbench --count) rather than times.
bool isCountReport(const ResultSet& results);

// What identifies a row: its map columns, and its cell columns when `withCell`.
std::string rowKey(const Json& row, bool withCell);

enum class Verdict { kFaster, kSlower, kSame, kTooFewRepetitions };
const char* verdictName(Verdict verdict);

struct RowComparison {
  Json base, fresh;  // the two rows
  std::vector<double> baseTimes, newTimes;
  UTestResult test;  // of the new times against the base times
  Verdict verdict = Verdict::kTooFewRepetitions;
  std::optional<double> ratio;     // new median time / base median time
  std::vector<double> pairRatios;  // interleaved runs: new / base of each pair
};

struct Comparison {
  double alpha = 0.05;
  bool interleaved = false;           // the rows carry pair ratios of runs made in turns
  bool counted = false;               // both sides are count reports: exact differences, no test
  std::vector<std::string> warnings;  // each a whole sentence
  std::vector<RowComparison> rows;
  std::vector<Json> onlyInBase, onlyInNew;
};

// `alpha` is the significance level, in (0, 1).
Comparison compareResults(const ResultSet& base, const ResultSet& fresh, double alpha);
// The same, but the rows are moved out of `base` and `fresh` (which keep their names and
// contexts, all printComparison() and comparisonJson() read of them) instead of copied: a
// large report is then held once.
Comparison compareResultsTakingRows(ResultSet& base, ResultSet& fresh, double alpha);

// The rows that are significantly slower by more than `ratio` (new / base; with pair ratios,
// their median), as one line each. Between count reports: the rows whose instructions per
// operation grew by more than `ratio`.
std::vector<std::string> slowerThan(const Comparison& comparison, double ratio);

// Prints the comparison as a table with the warnings and the rows found on one side only.
void printComparison(std::ostream& out, const Comparison& comparison, const ResultSet& base,
                     const ResultSet& fresh);

Json comparisonJson(const Comparison& comparison, const ResultSet& base, const ResultSet& fresh);

// Writes the comparison, the --json file and applies --fail-above (which no matched row
// fails too): the exit status of `mapbench compare` and of `mapbench --against` once both
// sides are known.
int reportComparison(const Comparison& comparison, const ResultSet& base, const ResultSet& fresh,
                     const std::string& jsonPath, std::optional<double> failAbove,
                     std::ostream& out, std::ostream& err);

// `mapbench compare BASE.json NEW.json [--alpha A] [--fail-above RATIO] [--json FILE]`;
// argv[0] is "compare". Returns the exit status: 0, 1 when a row is slower beyond
// --fail-above (or no row matched) or the --json file was not written, 2 for a refused
// command line, a --json file that is also an input, or a file that is not a mapbench JSON
// report.
int runCompare(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace bench

#endif  // BENCH_MODES_COMPARE_H_
