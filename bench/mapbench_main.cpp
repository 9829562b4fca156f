// mapbench: compares ordered multimaps on the seeded mixed workload.
//
// Every map runs the same operation stream as workload-generator (same generator, same
// draws), behind the same Map contract and push operator, with the no-op map's time of the
// same repetition subtracted. Run `mapbench --help` for the options. `mapbench compare`
// sets two JSON reports side by side; `mapbench --against OTHER` times two builds in turns;
// `mapbench --count` counts instructions and simulated cache misses instead of timing.
//
// Exit status: 0 when every run finished and every map reported the size the driver
// expected; 1 when a run failed, a map disagreed or a result could not be written; 2 for a
// command line it refuses (one line on standard error, before any run starts).
#include <algorithm>
#include <csignal>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "bench/Against.h"
#include "bench/BenchmarkRunner.h"
#include "bench/Compare.h"
#include "bench/Counting.h"
#include "bench/HugePages.h"
#include "bench/MapRegistry.h"
#include "bench/Options.h"
#include "bench/Report.h"
#include "bench/ResultFiles.h"
#include "bench/Sweep.h"
#include "util/Arena.h"

namespace {

using bench::Options;

constexpr int kFailure = 1;

// Runs every map once per distribution with counting operators; reports whether they agree.
// With --json, the figures of the last distribution go to the file (--against reads them).
bool runCheck(const Options& options, const std::vector<const bench::MapKind*>& kinds) {
  bool agree = true;
  bench::CheckReport report;
  for (test::KeyDistribution distribution : options.distributions) {
    bench::WorkloadConfig config = options.config;
    config.distribution = distribution;
    std::cout << "distribution " << test::distributionName(distribution) << ", workload "
              << options.workload << "\n";
    std::cout << "map          values pushed            sum      queries  end-of-query  size\n";
    std::optional<bench::CheckSums> reference;
    for (const bench::MapKind* kind : kinds) {
      if (kind->name == "dummy")
        continue;
      bench::RunResult result;
      if (!bench::runOnce(*kind, options.parameters, config, options, result, std::cerr))
        return false;
      const bench::CheckSums& sums = result.check;
      report[kind->name] = {sums.valuesPushed, sums.valueSum, sums.queries, sums.endOfQuery,
                            result.reportedSize};
      const bool sizeOk = result.reportedSize == result.expectedSize;
      const bool sameAsFirst = !reference || (sums.valuesPushed == reference->valuesPushed &&
                                              sums.valueSum == reference->valueSum &&
                                              sums.queries == reference->queries);
      if (!reference)
        reference = sums;
      agree = agree && sizeOk && sameAsFirst;
      std::cout << std::left << std::setw(12) << kind->name << std::right << std::setw(14)
                << sums.valuesPushed << std::setw(19) << sums.valueSum << std::setw(13)
                << sums.queries << std::setw(14) << sums.endOfQuery << "  " << result.reportedSize
                << (sizeOk ? "" : " (expected " + std::to_string(result.expectedSize) + ")")
                << (sameAsFirst ? "" : "  DIFFERS") << "\n";
    }
  }
  std::cout << (agree ? "All maps agree.\n" : "MAPS DISAGREE.\n");
  const bool written = bench::writeFile(
      options.jsonPath,
      [&](std::ostream& file) { file << bench::checkReportJson(report).dump(2) << "\n"; },
      std::cerr);
  return agree && written;
}

// The fastest parameter pair of each tree per key space and distribution, where a sweep ran
// more than one.
void printBestPairs(const std::vector<bench::Row>& rows) {
  struct Best {
    const bench::Row* row = nullptr;
    int pairs = 0;
  };
  std::map<std::tuple<std::string, int32_t, test::KeyDistribution>, Best> best;
  for (const bench::Row& row : rows) {
    if (!row.usesTreeParameters || row.tooShortToTime)
      continue;
    Best& slot = best[{row.map, row.config.keySpace, row.config.distribution}];
    ++slot.pairs;
    if (slot.row == nullptr || row.medianSeconds < slot.row->medianSeconds)
      slot.row = &row;
  }
  for (const auto& [key, slot] : best) {
    if (slot.pairs < 2)
      continue;
    const bench::Row& row = *slot.row;
    std::cout << "best " << row.map << " (key space " << row.config.keySpace << ", "
              << test::distributionName(row.config.distribution) << "): k=" << row.parameters.k
              << " k_star=" << row.parameters.k_star << " median " << row.medianSeconds << " s\n";
  }
}

void listMaps() {
  for (const bench::MapKind& kind : bench::registeredMaps())
    std::cout << std::left << std::setw(13) << kind.name << kind.description << "\n";
}

// Standard output is where the results go: a failed write there fails the invocation.
int finish(int status) {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "mapbench: could not write the results to standard output\n";
    return kFailure;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  if (argc > 1 && std::string(argv[1]) == "compare")
    return finish(bench::runCompare(argc - 1, argv + 1, std::cout, std::cerr));
  // The process that --count starts under valgrind, one per counted run.
  if (argc > 1 && std::string(argv[1]) == "counted-run")
    return bench::runCountedChild(argc - 1, argv + 1);
  Options options;
  if (const std::optional<int> exitStatus =
          bench::parseOptions(argc, argv, options, std::cout, std::cerr)) {
    return finish(*exitStatus);
  }
  // The no-op map is every run's baseline: on its own it measures nothing, not even itself.
  if (!options.list && std::all_of(options.maps.begin(), options.maps.end(),
                                   [](const std::string& name) { return name == "dummy"; })) {
    std::cerr << "mapbench: -m dummy alone measures nothing (the no-op map is the baseline whose "
                 "time every other map's run is measured against); name another map\n";
    return finish(bench::kUsageError);
  }
  // Tunables are read at start-up: the runs need a process that started with it.
  if (options.hugePages && !bench::hugePagesRequested()) {
    const std::string failure = bench::restartWithHugePages(argv);  // returns only on failure
    std::cerr << "mapbench: " << failure << "\n";
    return kFailure;
  }
  // The trees' arenas map their chunks on huge pages themselves (malloc's tunable does not
  // reach them); the forked runs inherit the choice.
  util::Arena::useHugePages(bench::hugePagesRequested());
  if (options.list) {
    listMaps();
    return finish(0);
  }
  if (!options.againstPath.empty())
    return finish(bench::runAgainst(options, std::cout, std::cerr));
  const std::vector<const bench::MapKind*> kinds = bench::selectMaps(options.maps);
  if (options.check)
    return finish(runCheck(options, kinds) ? 0 : kFailure);

  std::vector<bench::Cell> cells = bench::planCells(options, kinds);
  if (const std::optional<std::string> refusal = bench::memoryRefusal(cells)) {
    std::cerr << "mapbench: " << *refusal << "\n";
    return bench::kUsageError;
  }
  std::vector<bench::Row> rows;
  for (bench::Cell& cell : cells) {
    const bool ran = options.count ? bench::countCell(options, cell, std::cerr)
                                   : bench::runCell(options, cell, std::cerr);
    if (!ran)
      return finish(kFailure);
    for (const bench::Measurement& measurement : cell.measurements)
      rows.push_back(bench::summarize(measurement));
  }

  bench::Context context = bench::Context::collect();
  if (options.count)
    context.simulatedCaches = bench::simulatedCachesText();
  bench::printTable(std::cout, context, rows);
  if (!options.count)
    printBestPairs(rows);
  const bool written =
      bench::writeResultFiles(options.jsonPath, options.csvPath, context, rows, std::cerr);
  bool sizesOk = true;
  for (const bench::Row& row : rows)
    sizesOk = sizesOk && row.reportedSize == row.expectedSize;
  return finish(written && sizesOk ? 0 : kFailure);
}
