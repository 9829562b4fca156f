#include "bench/modes/Against.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "bench/model/Statistics.h"
#include "bench/model/WorkloadFields.h"
#include "bench/modes/Check.h"
#include "bench/modes/Sweep.h"
#include "bench/run/ChildProcess.h"

namespace bench {

namespace {

// The largest file the other build may write (its JSON report): a few KiB a row.
constexpr int64_t kFileBound = int64_t{64} << 20;
// The most its files may take together in the temporary folder.
constexpr int64_t kFolderBound = 4 * kFileBound;

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ",") + name;
  return text;
}

// The two builds, and what every run of either takes.
struct Builds {
  std::string path[2];  // [0] this build, judged against [1] the other
  const TempDirectory& directory;
  int timeLimitSeconds;
  bool showProgress;
  std::ostream& err;

  // The error stream with the status line cleared, so that an error line stands alone.
  std::ostream& fail() const { return err << (showProgress ? "\r\033[K" : ""); }

  // One run of the build on `side` with `args`, bounded as a stranger is.
  ChildRun run(int side, const std::vector<std::string>& args) const {
    ChildRequest request;
    request.argv = {path[side]};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    request.timeLimitSeconds = timeLimitSeconds;
    request.fileBound = kFileBound;
    request.folder = directory.path();
    request.folderBound = kFolderBound;
    return runChild(request);
  }
};

// One cell's runs: where it is, its workload's arguments and what runs in it.
struct CellRuns {
  std::string where;
  std::vector<std::string> workload;
  bool counted = false;  // the measured runs count instead of timing; the gate checks
  std::vector<std::string> maps, trees;  // trees: the maps with tree parameters
  std::vector<std::string> pairs;        // "k:k_star" of the trees
};

// Plan: every cell's runs, with the command line of its workload.
std::vector<CellRuns> planRuns(const Options& options, const std::vector<Cell>& cells) {
  std::vector<CellRuns> plan;
  for (const Cell& cell : cells) {
    CellRuns runs;
    for (const Measurement& measurement : cell.measurements) {
      if (std::find(runs.maps.begin(), runs.maps.end(), measurement.map) == runs.maps.end()) {
        runs.maps.push_back(measurement.map);
        if (measurement.usesTreeParameters)
          runs.trees.push_back(measurement.map);
      }
      const std::string pair = std::to_string(measurement.parameters.k) + ":" +
                               std::to_string(measurement.parameters.k_star);
      if (measurement.usesTreeParameters &&
          std::find(runs.pairs.begin(), runs.pairs.end(), pair) == runs.pairs.end())
        runs.pairs.push_back(pair);
    }
    if (runs.maps.empty())
      continue;
    runs.where = "workload " + presetNameOf(cell.config.measuredMix, cell.config.maxRangeSize) +
                 ", key space " + std::to_string(cell.config.keySpace) + ", " +
                 std::string(test::distributionName(cell.config.distribution));
    runs.workload = workloadArguments(cell.config);
    runs.workload.push_back("--no-progress");
    if (options.hugePages)
      runs.workload.push_back("--huge-pages");
    runs.counted = options.count;
    plan.push_back(std::move(runs));
  }
  return plan;
}

// Gate: both builds deliver the same values in the cell, the maps without parameters once,
// the trees with every pair. False, after one line, when they do not.
bool gate(const CellRuns& cell, const Builds& builds) {
  const std::string report = builds.directory.file("check.json");
  for (size_t p = 0; p < std::max<size_t>(cell.pairs.size(), 1); ++p) {
    const std::vector<std::string>& checked = p == 0 ? cell.maps : cell.trees;
    if (checked.empty())
      continue;
    std::vector<std::string> args = cell.workload;
    args.insert(args.end(), {"--check", "-m", joined(checked), "--json", report});
    if (!cell.pairs.empty()) {
      const size_t colon = cell.pairs[p].find(':');
      args.insert(args.end(), {"-k", cell.pairs[p].substr(0, colon), "--k-star",
                               cell.pairs[p].substr(colon + 1)});
    }
    CheckReport figures[2];
    for (int side = 0; side < 2; ++side) {
      std::remove(report.c_str());
      const ChildRun run = builds.run(side, args);
      const std::optional<std::string> unread =
          run.ok ? readCheckReport(report, figures[side]) : run.failure;
      if (unread) {
        builds.fail() << "mapbench: --against: the --check run of " << builds.path[side] << " at "
                      << cell.where << " failed: " << *unread << "\n";
        return false;
      }
    }
    if (const std::optional<std::string> difference =
            checkDifference(figures[0], figures[1], checked)) {
      builds.fail() << "mapbench: --against: the builds differ at " << cell.where
                    << (cell.pairs.empty() ? "" : ", k:k_star " + cell.pairs[p]) << ": "
                    << *difference << "\n";
      return false;
    }
  }
  return true;
}

// One row from an invocation per pair: the pairs' times, and the median of each compared
// figure.
Json mergeRuns(const std::vector<Json>& runs) {
  Json merged = runs.front();
  const Column& medianTime = columnComparedAs(Compared::kValuesAndRatio);
  std::vector<double> times;  // one repetition each; a run too short to time has none
  for (const Json& run : runs) {
    if (const std::optional<double> time = numberAt(run, medianTime.json))
      times.push_back(*time);
  }
  for (const Column& column : rowColumns()) {
    if (column.json.empty() || column.compared == Compared::kNo ||
        column.compared == Compared::kTimes)
      continue;
    std::vector<double> values;
    for (const Json& run : runs) {
      if (const std::optional<double> value = numberAt(run, column.json))
        values.push_back(*value);
    }
    if (values.size() == runs.size())
      setAt(merged, column.json, median(values));
  }
  if (times.size() == runs.size()) {
    setAt(merged, columnComparedAs(Compared::kTimes).json, times);
  } else {
    setAt(merged, columnComparedAs(Compared::kTimes).json, nullptr);
    setAt(merged, medianTime.json, nullptr);
  }
  return merged;
}

// Pairs: the timed runs of the cell in turns, each side's rows merged over the pairs into
// `sides`. False, after one line, when a run failed.
bool runPairs(const CellRuns& cell, const Builds& builds, int repetitions, size_t cellNumber,
              size_t cellCount, ResultSet sides[2]) {
  const std::string report = builds.directory.file("results.json");
  std::vector<std::string> args = cell.workload;
  if (cell.counted)
    args.push_back("--count");
  args.insert(args.end(), {"-m", joined(cell.maps), "-r", "1", "--json", report});
  if (!cell.pairs.empty())
    args.insert(args.end(), {"--k-pairs", joined(cell.pairs)});
  std::map<std::string, std::vector<Json>> runs[2];
  std::vector<std::string> order;
  for (int pair = 0; pair < repetitions; ++pair) {
    for (int side = 0; side < 2; ++side) {
      if (builds.showProgress) {
        builds.err << "\rmapbench --against: cell " << cellNumber << "/" << cellCount << ", pair "
                   << pair + 1 << "/" << repetitions << ", " << (side == 0 ? "new" : "base")
                   << " build " << std::flush;
      }
      std::remove(report.c_str());
      const ChildRun run = builds.run(side, args);
      ResultSet results;
      const std::optional<std::string> unread = run.ok ? readResults(report, results) : run.failure;
      if (unread) {
        builds.fail() << "mapbench: --against: the run of " << builds.path[side] << " at "
                      << cell.where << " failed: " << *unread << "\n";
        return false;
      }
      if (sides[side].context.empty())
        sides[side].context = results.context;
      for (const Json& row : results.rows) {
        // A column an older build may lack (Column::whenMissing, such as the split rule, whose
        // older builds split in the middle) does not keep its rows from this build's.
        Json keyed = row;
        for (const Column& column : rowColumns()) {
          if (column.whenMissing)
            keyed.erase(column.json);
        }
        const std::string key = rowKey(keyed, true);
        if (pair == 0 && side == 0)
          order.push_back(key);
        runs[side][key].push_back(row);
      }
    }
  }
  for (const std::string& key : order) {
    for (int side = 0; side < 2; ++side) {
      const std::vector<Json>& list = runs[side][key];
      if (list.size() != static_cast<size_t>(repetitions)) {
        builds.fail() << "mapbench: --against: " << builds.path[side]
                      << " did not report every run at " << cell.where << "\n";
        return false;
      }
      sides[side].rows.push_back(mergeRuns(list));
    }
  }
  return true;
}

// Plan, gate and pairs, cell by cell; merge. The exit status.
int compareAgainst(const Options& options, const TempDirectory& directory, std::ostream& out,
                   std::ostream& err) {
  const std::vector<Cell> cells = planCells(options, selectMaps(options.maps));
  if (const std::optional<std::string> refusal = memoryRefusal(cells)) {
    err << "mapbench: " << *refusal << "\n";
    return kUsageError;
  }
  const std::string self = selfPath();
  if (self.empty() || !directory.ok()) {
    err << "mapbench: --against: "
        << (self.empty() ? "cannot find this program's own file"
                         : "cannot make a temporary directory")
        << "\n";
    return kFailure;
  }
  // A status line on a terminal: a cell of a large sweep can take minutes.
  const Builds builds{{self, options.againstPath},
                      directory,
                      options.timeLimitSeconds,
                      !options.noProgress && ::isatty(STDERR_FILENO) == 1,
                      err};
  ResultSet sides[2];
  sides[0].name = self;
  sides[1].name = options.againstPath;
  const std::vector<CellRuns> plan = planRuns(options, cells);
  for (size_t i = 0; i < plan.size(); ++i) {
    if (!gate(plan[i], builds) ||
        !runPairs(plan[i], builds, options.repetitions, i + 1, plan.size(), sides))
      return kFailure;
  }
  if (builds.showProgress)
    builds.fail() << std::flush;
  const Comparison comparison = compareBuilds(sides[0], sides[1], options.verdict.alpha);
  if (options.count) {
    out << "mapbench --against --count: both builds counted every cell under valgrind's cache "
           "simulation;\nboth builds pushed the same values in every cell.\n";
  } else {
    out << "mapbench --against: " << options.repetitions
        << (options.repetitions == 1 ? " pair" : " pairs")
        << " of runs per cell, in turns (new, base, new, base, ...), each run a separate "
           "invocation;\nboth builds pushed the same values in every cell.\n";
  }
  return reportComparison(comparison, sides[1], sides[0], options.jsonPath,
                          options.verdict.failAbove, out, err);
}

}  // namespace

Comparison compareBuilds(const ResultSet& thisBuild, const ResultSet& otherBuild, double alpha) {
  Comparison comparison = compareResults(otherBuild, thisBuild, alpha);
  comparison.interleaved = true;
  for (RowComparison& row : comparison.rows) {
    for (size_t i = 0; i < row.newTimes.size() && i < row.baseTimes.size(); ++i) {
      if (row.baseTimes[i] > 0)
        row.pairRatios.push_back(row.newTimes[i] / row.baseTimes[i]);
    }
  }
  return comparison;
}

int runAgainst(const Options& options, std::ostream& out, std::ostream& err) {
  // Declared first, so that it ends mapbench by a caught signal only once the folder is gone.
  const InterruptScope scope;
  const TempDirectory directory("mapbench-against");
  return compareAgainst(options, directory, out, err);
}

}  // namespace bench
