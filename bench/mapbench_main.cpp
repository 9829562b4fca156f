// mapbench: compares ordered multimaps on the seeded mixed workload.
//
// Every map runs the same operation stream as workload-generator (same generator, same
// draws), behind the same Map contract and push operator, with the no-op map's time of the
// same repetition subtracted. Run `mapbench --help` for the options.
#include <algorithm>
#include <csignal>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "bench/BenchmarkRunner.h"
#include "bench/MapRegistry.h"
#include "bench/Report.h"

namespace {

using bench::Measurement;
using bench::TreeParameters;
using bench::WorkloadConfig;

struct Options {
  std::vector<std::string> maps;
  WorkloadConfig config;
  TreeParameters parameters;
  std::vector<std::string> parameterPairs;
  std::vector<int32_t> parameterGrid;
  std::vector<int32_t> keySpaces;
  int repetitions = 3;
  std::string jsonPath, csvPath;
  bool inProcess = false;
  bool check = false;
  bool noProgress = false;
  bool list = false;
};

std::vector<TreeParameters> parameterSets(const Options& options) {
  std::vector<TreeParameters> sets;
  for (const std::string& pair : options.parameterPairs) {
    const size_t colon = pair.find(':');
    sets.push_back({std::stoi(pair.substr(0, colon)), std::stoi(pair.substr(colon + 1))});
  }
  for (int32_t k : options.parameterGrid) {
    for (int32_t kStar : options.parameterGrid)
      sets.push_back({k, kStar});
  }
  if (sets.empty())
    sets.push_back(options.parameters);
  return sets;
}

// The workload for one key space: fill and operation counts scale with its size.
WorkloadConfig scaledTo(const WorkloadConfig& base, int32_t keySpace) {
  WorkloadConfig config = base;
  const double factor = static_cast<double>(keySpace) / base.keySpace;
  config.keySpace = keySpace;
  config.fillOperations = static_cast<int32_t>(base.fillOperations * factor);
  config.measuredOperations = static_cast<int32_t>(base.measuredOperations * factor);
  return config;
}

bool run(const bench::MapKind& kind, const TreeParameters& parameters, const WorkloadConfig& config,
         const Options& options, bench::RunResult& result) {
  const bench::RunOptions runOptions{options.check, !options.noProgress};
  try {
    if (options.inProcess) {
      result = bench::runInProcess(kind, parameters, config, runOptions);
      return true;
    }
  } catch (const std::exception& refusal) {
    std::cerr << "mapbench: " << kind.name << ": " << refusal.what() << "\n";
    return false;
  }
  std::string error;
  const auto isolated = bench::runIsolated(kind, parameters, config, runOptions, error);
  if (!isolated) {
    std::cerr << "mapbench: " << error << "\n";
    return false;
  }
  result = *isolated;
  return true;
}

// Runs every map once with counting operators and reports whether they agree.
int runCheck(const Options& options, const std::vector<const bench::MapKind*>& kinds) {
  std::cout << "map          values pushed            sum      queries  end-of-query  size\n";
  bool agree = true;
  std::optional<bench::CheckSums> reference;
  for (const bench::MapKind* kind : kinds) {
    if (kind->name == "dummy")
      continue;
    bench::RunResult result;
    if (!run(*kind, options.parameters, options.config, options, result))
      return 1;
    const bench::CheckSums& sums = result.check;
    const bool sizeOk = result.reportedSize == result.expectedSize;
    const bool sameAsFirst =
        !reference || (sums.valuesPushed == reference->valuesPushed &&
                       sums.valueSum == reference->valueSum && sums.queries == reference->queries);
    if (!reference)
      reference = sums;
    agree = agree && sizeOk && sameAsFirst;
    std::cout << std::left << std::setw(12) << kind->name << std::right << std::setw(14)
              << sums.valuesPushed << std::setw(19) << sums.valueSum << std::setw(13)
              << sums.queries << std::setw(14) << sums.endOfQuery << "  " << result.reportedSize
              << (sizeOk ? "" : " (expected " + std::to_string(result.expectedSize) + ")")
              << (sameAsFirst ? "" : "  DIFFERS") << "\n";
  }
  std::cout << (agree ? "All maps agree.\n" : "MAPS DISAGREE.\n");
  return agree ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  Options options;
  options.maps = {"btree", "csbtree", "abslbtree"};
  WorkloadConfig& config = options.config;

  CLI::App app{
      "mapbench: compares ordered int32 -> int32 multimaps on a seeded mixed workload.\n"
      "Each repetition runs every map (and the no-op map, whose time is subtracted) in a\n"
      "fresh process: an untimed fill, then the measured mix of inserts, deletes, point and\n"
      "range queries. The defaults reproduce workload-generator's operation stream."};
  app.add_option("-m,--maps", options.maps, "Maps to run (see --list)")
      ->delimiter(',')
      ->capture_default_str();
  app.add_flag("--list", options.list, "List the available maps and exit");
  app.add_option("--fill", config.fillOperations, "Untimed fill operations (inserts)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--ops", config.measuredOperations, "Measured operations")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  app.add_option("--key-space", config.keySpace, "Keys are drawn from 0 .. key-space - 1")
      ->check(CLI::Range(1, 2147483646))
      ->capture_default_str();
  app.add_option("--query-ratio", config.measuredMix.queryRatio,
                 "Share of queries in the measured run (the rest are updates)")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--range-ratio", config.measuredMix.rangeQueryRatio,
                 "Share of range queries among the queries")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--delete-ratio", config.measuredMix.deleteRatio,
                 "Share of deletes among the updates")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  app.add_option("--range-length", config.maxRangeSize,
                 "Range lengths are drawn from 0 .. range-length - 1")
      ->check(CLI::Range(1, 1 << 30))
      ->capture_default_str();
  app.add_option("--seed", config.seed, "Seed of the operation stream")->capture_default_str();
  app.add_option("-k,--k", options.parameters.k, "Inner-node parameter of the trees")
      ->capture_default_str();
  app.add_option("--k-star", options.parameters.k_star, "Leaf parameter of the trees")
      ->capture_default_str();
  app.add_option("--k-pairs", options.parameterPairs,
                 "Sweep: list of k:k_star pairs for the trees, e.g. 8:8,16:32")
      ->delimiter(',')
      ->check([](const std::string& pair) -> std::string {
        const size_t colon = pair.find(':');
        try {
          if (colon != std::string::npos) {
            std::stoi(pair.substr(0, colon));
            std::stoi(pair.substr(colon + 1));
            return "";
          }
        } catch (const std::exception&) {
        }
        return "expected k:k_star, got '" + pair + "'";
      });
  app.add_option("--k-grid", options.parameterGrid,
                 "Sweep: every (k, k_star) pair over this list of values, e.g. 4,8,16,32,64")
      ->delimiter(',');
  app.add_option("--key-spaces", options.keySpaces,
                 "Sweep: list of key-space sizes; fill and operation counts scale with each")
      ->delimiter(',')
      ->check(CLI::Range(1, 2147483646));
  app.add_option("-r,--repetitions", options.repetitions, "Repetitions of every run")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  app.add_option("--sample-every", config.sampleEvery,
                 "Time one operation in this many for latency percentiles (power of two, 0: off)")
      ->check([](const std::string& text) -> std::string {
        const long value = std::stol(text);
        return value >= 0 && (value & (value - 1)) == 0 ? "" : "must be 0 or a power of two";
      })
      ->capture_default_str();
  app.add_option("--json", options.jsonPath, "Also write the results as JSON to this file");
  app.add_option("--csv", options.csvPath, "Also write the results as CSV to this file");
  app.add_flag("--in-process", options.inProcess,
               "Run every map in this process instead of a fresh child process each");
  app.add_flag("--check", options.check,
               "Push into counting operators and check that all maps deliver the same values");
  app.add_flag("--no-progress", options.noProgress, "Never show the progress bar");
  CLI11_PARSE(app, argc, argv);

  if (options.list) {
    for (const bench::MapKind& kind : bench::registeredMaps()) {
      std::cout << std::left << std::setw(13) << kind.name << kind.description << "\n";
    }
    return 0;
  }
  std::vector<const bench::MapKind*> kinds;
  for (const std::string& name : options.maps) {
    const bench::MapKind* kind = bench::findMap(name);
    if (kind == nullptr) {
      std::cerr << "mapbench: unknown map '" << name << "' (see --list)\n";
      return 2;
    }
    kinds.push_back(kind);
  }
  if (options.check)
    return runCheck(options, kinds);

  const bench::MapKind& dummy = *bench::findMap("dummy");
  std::vector<int32_t> keySpaces = options.keySpaces;
  if (keySpaces.empty())
    keySpaces.push_back(config.keySpace);
  const std::vector<TreeParameters> parameterList = parameterSets(options);

  std::vector<bench::Row> rows;
  for (int32_t keySpace : keySpaces) {
    const WorkloadConfig scaled = scaledTo(config, keySpace);
    std::vector<Measurement> measurements;
    for (const bench::MapKind* kind : kinds) {
      if (kind->name == "dummy")
        continue;
      const std::vector<TreeParameters> sets =
          kind->usesTreeParameters ? parameterList : std::vector{options.parameters};
      for (const TreeParameters& parameters : sets) {
        measurements.push_back({kind->name, kind->usesTreeParameters, parameters, scaled, {}, {}});
      }
    }
    // Repetitions are the outer loop, so that slow drifts of a shared machine hit every map.
    for (int repetition = 0; repetition < options.repetitions; ++repetition) {
      bench::RunResult baseline;
      if (!run(dummy, options.parameters, scaled, options, baseline))
        return 1;
      for (Measurement& measurement : measurements) {
        bench::RunResult result;
        if (!run(*bench::findMap(measurement.map), measurement.parameters, scaled, options,
                 result)) {
          return 1;
        }
        measurement.runs.push_back(result);
        measurement.baselines.push_back(baseline);
      }
    }
    for (const Measurement& measurement : measurements)
      rows.push_back(bench::summarize(measurement));
  }

  bench::printTable(std::cout, rows);
  // The best parameter pair of each tree, where a sweep ran more than one.
  std::map<std::pair<std::string, int32_t>, const bench::Row*> best;
  for (const bench::Row& row : rows) {
    if (!row.usesTreeParameters || parameterList.size() < 2)
      continue;
    const bench::Row*& slot = best[{row.map, row.config.keySpace}];
    if (slot == nullptr || row.medianSeconds < slot->medianSeconds)
      slot = &row;
  }
  for (const auto& [key, row] : best) {
    std::cout << "best " << key.first << " (key space " << key.second
              << "): k=" << row->parameters.k << " k_star=" << row->parameters.k_star << " median "
              << row->medianSeconds << " s\n";
  }

  const bench::Context context = bench::Context::collect();
  if (!options.jsonPath.empty()) {
    std::ofstream json(options.jsonPath);
    bench::writeJson(json, context, rows);
    if (!json)
      std::cerr << "mapbench: could not write " << options.jsonPath << "\n";
  }
  if (!options.csvPath.empty()) {
    std::ofstream csv(options.csvPath);
    bench::writeCsv(csv, context, rows);
    if (!csv)
      std::cerr << "mapbench: could not write " << options.csvPath << "\n";
  }
  bool sizesOk = true;
  for (const bench::Row& row : rows)
    sizesOk = sizesOk && row.reportedSize == row.expectedSize;
  return sizesOk ? 0 : 1;
}
