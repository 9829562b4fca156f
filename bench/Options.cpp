#include "bench/Options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <sstream>

#include "bench/HugePages.h"
#include "bench/KeySetOption.h"
#include "bench/Sweep.h"

namespace bench {

namespace {

std::optional<int64_t> parseInteger(const std::string& text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end)
    return std::nullopt;
  return value;
}

// Says "must be at least N" rather than CLI11's range with a 300-digit upper bound.
CLI::Validator atLeast(int64_t minimum) {
  return CLI::Validator(
      [minimum](std::string& text) -> std::string {
        const std::optional<int64_t> value = parseInteger(text);
        if (!value)
          return "expected an integer, got '" + text + "'";
        return *value >= minimum ? "" : "must be at least " + std::to_string(minimum);
      },
      ">= " + std::to_string(minimum));
}

// A decimal number from `minimum` to `maximum`, both included.
CLI::Validator numberBetween(double minimum, double maximum) {
  std::ostringstream range;
  range << minimum << " to " << maximum;
  return CLI::Validator(
      [minimum, maximum, range = range.str()](std::string& text) -> std::string {
        double value = 0;
        std::istringstream in(text);
        if (in >> value && in.eof() && value >= minimum && value <= maximum)
          return "";
        return "must be a number from " + range + ", got '" + text + "'";
      },
      range.str());
}

CLI::Validator powerOfTwoOrZero() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        const std::optional<int64_t> value = parseInteger(text);
        if (value && *value >= 0 && *value <= (int64_t{1} << 30) && (*value & (*value - 1)) == 0)
          return "";
        return "must be 0 or a power of two up to 2^30, got '" + text + "'";
      },
      "0 or 2^n");
}

std::string presetNames() {
  std::string names;
  for (const WorkloadPreset& preset : workloadPresets())
    names += (names.empty() ? "" : ", ") + std::string(preset.name);
  return names;
}

std::string presetHelp() {
  std::ostringstream help;
  help << "Workload presets (--workload NAME sets the measured run's ratios and range length;\n"
          "explicit --query-ratio, --range-ratio, --delete-ratio or --range-length override):\n";
  for (const WorkloadPreset& preset : workloadPresets()) {
    help << "  " << std::left << std::setw(13) << preset.name << preset.description
         << "\n                 (query " << preset.mix.queryRatio << ", range "
         << preset.mix.rangeQueryRatio << ", delete " << preset.mix.deleteRatio << ", range length "
         << preset.maxRangeSize << ")\n";
  }
  help << "Key distributions (--distribution): uniform (the default), zipf (exponent --theta,\n"
          "hot keys scattered over the key space), latest (ascending inserts; queries and\n"
          "deletes near the newest key, Zipf-weighted by recency). The fill run of uniform and\n"
          "zipf inserts uniform keys; that of latest ascending keys from 0.\n"
          "Exit status: 0 when every run finished and every map reported the expected size,\n"
          "1 when a run or a result file failed, 2 for a refused command line.";
  return help.str();
}

// Sets what the preset decides, except where the command line said otherwise.
void applyPreset(const CLI::App& app, const WorkloadPreset& preset, WorkloadConfig& config) {
  if (app.count("--query-ratio") == 0)
    config.measuredMix.queryRatio = preset.mix.queryRatio;
  if (app.count("--range-ratio") == 0)
    config.measuredMix.rangeQueryRatio = preset.mix.rangeQueryRatio;
  if (app.count("--delete-ratio") == 0)
    config.measuredMix.deleteRatio = preset.mix.deleteRatio;
  if (app.count("--range-length") == 0)
    config.maxRangeSize = preset.maxRangeSize;
}

void addOptions(CLI::App& app, Options& options, std::vector<std::string>& distributionNames) {
  WorkloadConfig& config = options.config;
  app.add_option("-m,--maps", options.maps, "Maps to run (see --list)")
      ->delimiter(',')
      ->capture_default_str();
  app.add_flag("--list", options.list, "List the available maps and exit");
  app.add_option("--fill", config.fillOperations, "Untimed fill operations (inserts)")
      ->check(atLeast(0))
      ->capture_default_str();
  app.add_option("--ops", config.measuredOperations, "Measured operations")
      ->check(atLeast(0))
      ->capture_default_str();
  app.add_option("--key-space", config.keySpace, "Keys are drawn from 0 .. key-space - 1")
      ->check(CLI::Range(1, 2147483646))
      ->capture_default_str();
  app.add_option("--workload", options.workload, "Preset of the measured mix: " + presetNames())
      ->check([](const std::string& name) -> std::string {
        return findPreset(name) ? "" : "unknown workload '" + name + "' (" + presetNames() + ")";
      })
      ->capture_default_str();
  app.add_option("--distribution", distributionNames,
                 "Key distribution of the measured run: uniform, zipf or latest; a list sweeps")
      ->delimiter(',')
      ->check([](const std::string& name) -> std::string {
        return test::parseDistribution(name)
                   ? ""
                   : "unknown distribution '" + name + "' (uniform, zipf, latest)";
      })
      ->default_str("uniform");
  std::ostringstream thetaRange;
  thetaRange << test::kMinTheta << " to " << test::kMaxTheta;
  app.add_option("--theta", config.theta, "Zipf exponent of zipf and latest, " + thetaRange.str())
      ->check(numberBetween(test::kMinTheta, test::kMaxTheta))
      ->capture_default_str();
  app.add_option("--query-ratio", config.measuredMix.queryRatio,
                 "Share of queries in the measured run (the rest are updates)")
      ->check(numberBetween(0, 1))
      ->capture_default_str();
  app.add_option("--range-ratio", config.measuredMix.rangeQueryRatio,
                 "Share of range queries among the queries")
      ->check(numberBetween(0, 1))
      ->capture_default_str();
  app.add_option("--delete-ratio", config.measuredMix.deleteRatio,
                 "Share of deletes among the updates")
      ->check(numberBetween(0, 1))
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
        return parseParameterPair(pair) ? "" : "expected k:k_star, got '" + pair + "'";
      });
  app.add_option("--k-grid", options.parameterGrid,
                 "Sweep: every (k, k_star) pair over this list of values, e.g. 4,8,16,32,64")
      ->delimiter(',');
  app.add_option("--key-spaces", options.keySpaces,
                 "Sweep: list of key-space sizes; the fill keeps its share of each key space, "
                 "the measured operations scale too unless --ops is given")
      ->delimiter(',')
      ->check(CLI::Range(1, 2147483646));
  app.add_option("-r,--repetitions", options.repetitions, "Repetitions of every run")
      ->check(atLeast(1))
      ->capture_default_str();
  app.add_option("--sample-every", config.sampleEvery,
                 "Time one operation in this many for latency percentiles (power of two, 0: off)")
      ->check(powerOfTwoOrZero())
      ->capture_default_str();
  app.add_option("--json", options.jsonPath, "Also write the results as JSON to this file");
  app.add_option("--csv", options.csvPath, "Also write the results as CSV to this file");
  app.add_flag("--in-process", options.inProcess,
               "Run every map in this process instead of a fresh child process each");
  app.add_flag("--check", options.check,
               "Push into counting operators and check that all maps deliver the same values");
  app.add_flag("--no-progress", options.noProgress, "Never show the progress bar");
  app.add_flag("--huge-pages", options.hugePages,
               "Back every map's memory with transparent huge pages (glibc.malloc.hugetlb=1 for "
               "all maps alike); the report says which pages were used");
  CLI::Option* keys =
      app.add_option("--keys", options.keysPath,
                     "The keys of this file are the key space: slot i of the workload is its "
                     "i-th smallest distinct key")
          ->excludes(app.get_option("--key-space"))
          ->excludes(app.get_option("--key-spaces"));
  app.add_option("--key-format", options.keyFormat,
                 "Format of the --keys file: sosd32, sosd64 (8-byte count, then unsigned keys, "
                 "little-endian) or text (one integer a line); by default from a name ending "
                 "in _uint32, _uint64 or .txt")
      ->check(CLI::IsMember({"sosd32", "sosd64", "text"}))
      ->needs(keys);
}

}  // namespace

const std::vector<WorkloadPreset>& workloadPresets() {
  static const std::vector<WorkloadPreset> presets = {
      {"default",
       "30% updates (half deletes), 70% queries (60% of them ranges)",
       {0.7, 0.6, 0.5},
       1000},
      {"read-only", "point queries only", {1.0, 0.0, 0.5}, 1000},
      {"read-mostly", "95% point queries, 5% inserts", {0.95, 0.0, 0.0}, 1000},
      {"scan-heavy", "95% range queries of length < 100, 5% inserts", {0.95, 1.0, 0.0}, 100},
      {"write-heavy", "50% updates (half deletes), 50% point queries", {0.5, 0.0, 0.5}, 1000},
      {"insert-only", "inserts only", {0.0, 0.0, 0.0}, 1000},
  };
  return presets;
}

const WorkloadPreset* findPreset(const std::string& name) {
  for (const WorkloadPreset& preset : workloadPresets()) {
    if (name == preset.name)
      return &preset;
  }
  return nullptr;
}

std::vector<const MapKind*> selectMaps(const std::vector<std::string>& names) {
  std::vector<const MapKind*> kinds;
  for (const std::string& name : names)
    kinds.push_back(findMap(name));
  return kinds;
}

std::optional<int> parseOptions(int argc, const char* const* argv, Options& options,
                                std::ostream& out, std::ostream& err) {
  CLI::App app{
      "mapbench: compares ordered int32 -> int32 multimaps on a seeded mixed workload.\n"
      "Each repetition runs every map (and the no-op map, whose time is subtracted) in a\n"
      "fresh process: an untimed fill, then the measured mix of inserts, deletes, point and\n"
      "range queries. The defaults reproduce workload-generator's operation stream."};
  app.footer(presetHelp());
  std::vector<std::string> distributionNames;
  addOptions(app, options, distributionNames);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help, out, err);
  } catch (const CLI::ParseError& error) {
    err << "mapbench: " << error.what() << "\n";
    return kUsageError;
  }
  if (options.list)
    return std::nullopt;

  if (options.hugePages) {
    if (const std::optional<std::string> reason = hugePagesUnavailable()) {
      err << "mapbench: --huge-pages: " << *reason << "\n";
      return kUsageError;
    }
  }
  options.opsGiven = app.count("--ops") > 0;
  applyPreset(app, *findPreset(options.workload), options.config);
  if (!options.keysPath.empty()) {
    if (const std::optional<std::string> refusal =
            useKeyFile(options.keysPath, options.keyFormat, options.config)) {
      err << "mapbench: " << *refusal << "\n";
      return kUsageError;
    }
  }
  if (!distributionNames.empty()) {
    options.distributions.clear();
    for (const std::string& name : distributionNames)
      options.distributions.push_back(*test::parseDistribution(name));
  }
  options.config.distribution = options.distributions.front();

  for (const std::string& name : options.maps) {
    const MapKind* kind = findMap(name);
    if (kind == nullptr) {
      err << "mapbench: unknown map '" << name << "' (see --list)\n";
      return kUsageError;
    }
    if (!kind->usesTreeParameters)
      continue;
    for (const TreeParameters& parameters : parameterSets(options)) {
      if (const std::optional<std::string> refusal = refusalOf(*kind, parameters)) {
        err << "mapbench: " << name << " with k = " << parameters.k
            << ", k_star = " << parameters.k_star << ": " << *refusal << "\n";
        return kUsageError;
      }
    }
  }
  return std::nullopt;
}

}  // namespace bench
