#include "bench/Options.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <functional>
#include <limits>
#include <sstream>

#include "bench/Counting.h"
#include "bench/HugePages.h"
#include "bench/KeySetOption.h"
#include "bench/ResultFiles.h"
#include "bench/Sweep.h"
#include "workload/CommandLine.h"

namespace bench {

namespace {

// The most keys a key space may hold: the key choosers' bound (workload/KeyChoosers.h).
constexpr int32_t kMaxKeySpace = std::numeric_limits<int32_t>::max() - 1;

std::optional<int64_t> parseInteger(const std::string& text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end)
    return std::nullopt;
  return value;
}

// A decimal integer from `minimum` to `maximum` (the range of the option's type, which CLI11
// would otherwise clamp to or misreport); says "must be at least N" rather than CLI11's range
// with a 300-digit upper bound.
CLI::Validator atLeast(int64_t minimum, int64_t maximum = std::numeric_limits<int32_t>::max()) {
  return CLI::Validator(
      [minimum, maximum](std::string& text) -> std::string {
        const std::optional<int64_t> value = parseInteger(text);
        if (!value || *value > maximum) {
          return "expected an integer from " + std::to_string(minimum) + " to " +
                 std::to_string(maximum) + ", got '" + text + "'";
        }
        return *value >= minimum ? "" : "must be at least " + std::to_string(minimum);
      },
      ">= " + std::to_string(minimum));
}

// The elements of a comma-separated list; nothing when one of them is empty (",zipf",
// "btree,", "4,,8", ",").
std::optional<std::vector<std::string>> splitList(const std::string& text) {
  std::vector<std::string> elements;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    std::string element = text.substr(start, comma - start);
    if (element.empty())
      return std::nullopt;
    elements.push_back(std::move(element));
    if (comma == std::string::npos)
      return elements;
    start = comma + 1;
  }
}

// Why an element of a list is refused, or "".
using ElementCheck = std::function<std::string(const std::string&)>;

// A comma-separated list option. Its values are kept as given and split by listElements()
// after parsing: CLI11's own splitting drops empty elements silently and, for a lone ",",
// takes the next option as a value. The check refuses an empty element and every element
// `element` refuses.
CLI::Option* addListOption(CLI::App& app, const std::string& name, std::vector<std::string>& values,
                           const std::string& help, ElementCheck element = nullptr) {
  return app.add_option(name, values, help)
      ->check(CLI::Validator(
          [element](std::string& text) -> std::string {
            const std::optional<std::vector<std::string>> elements = splitList(text);
            if (!elements)
              return "empty element in the list '" + text + "'";
            for (const std::string& item : *elements) {
              if (element) {
                if (std::string refusal = element(item); !refusal.empty())
                  return refusal;
              }
            }
            return "";
          },
          "LIST"));
}

// Every element of a list option's values, in order; the values have passed addListOption's
// check.
std::vector<std::string> listElements(const std::vector<std::string>& values) {
  std::vector<std::string> elements;
  for (const std::string& value : values) {
    for (std::string& item : splitList(value).value_or(std::vector<std::string>{}))
      elements.push_back(std::move(item));
  }
  return elements;
}

std::string int32Refusal(const std::string& text) {
  return test::parseInt32(text) ? "" : "expected a 32-bit integer, got '" + text + "'";
}

std::string keySpaceRefusal(const std::string& text) {
  const std::optional<int32_t> keys = test::parseInt32(text);
  return keys && *keys >= 1 && *keys <= kMaxKeySpace
             ? ""
             : "key spaces hold 1 to " + std::to_string(kMaxKeySpace) + " keys, got '" + text + "'";
}

std::vector<int32_t> int32Elements(const std::vector<std::string>& values) {
  std::vector<int32_t> numbers;
  for (const std::string& item : listElements(values))
    numbers.push_back(*test::parseInt32(item));
  return numbers;
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
          "1 when a run or a result file failed, 2 for a refused command line.\n"
          "mapbench compare BASE.json NEW.json sets two --json reports side by side (see\n"
          "mapbench compare --help).";
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

// The list options' values as given, before listElements() splits them.
struct ListValues {
  std::vector<std::string> distributions, parameterGrid, keySpaces;
};

void addOptions(CLI::App& app, Options& options, ListValues& lists) {
  WorkloadConfig& config = options.config;
  addListOption(app, "-m,--maps", options.maps, "Maps to run (see --list)")->capture_default_str();
  app.add_flag("--list", options.list, "List the available maps and exit");
  app.add_option("--fill", config.fillOperations, "Untimed fill operations (inserts)")
      ->check(atLeast(0))
      ->capture_default_str();
  app.add_option("--ops", config.measuredOperations, "Measured operations")
      ->check(atLeast(0))
      ->capture_default_str();
  app.add_option("--key-space", config.keySpace,
                 "Every distribution reaches the slots 0 .. key-space (inserts probe up to "
                 "key-space itself; uniform and zipf queries start below it)")
      ->check(CLI::Range(1, kMaxKeySpace))
      ->capture_default_str();
  app.add_option("--workload", options.workload, "Preset of the measured mix: " + presetNames())
      ->check([](const std::string& name) -> std::string {
        return findPreset(name) ? "" : "unknown workload '" + name + "' (" + presetNames() + ")";
      })
      ->capture_default_str();
  addListOption(app, "--distribution", lists.distributions,
                "Key distribution of the measured run: uniform, zipf or latest; a list sweeps",
                [](const std::string& name) -> std::string {
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
  app.add_option("--seed", config.seed, "Seed of the operation stream")
      ->check(atLeast(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max())
                  .description("64-bit"))
      ->capture_default_str();
  app.add_option("-k,--k", options.parameters.k, "Inner-node parameter of the trees")
      ->capture_default_str();
  app.add_option("--k-star", options.parameters.k_star, "Leaf parameter of the trees")
      ->capture_default_str();
  addListOption(app, "--k-pairs", options.parameterPairs,
                "Sweep: list of k:k_star pairs for the trees, e.g. 8:8,16:32",
                [](const std::string& pair) -> std::string {
                  return parseParameterPair(pair) ? "" : "expected k:k_star, got '" + pair + "'";
                });
  addListOption(app, "--k-grid", lists.parameterGrid,
                "Sweep: every (k, k_star) pair over this list of values, e.g. 4,8,16,32,64",
                int32Refusal);
  addListOption(app, "--key-spaces", lists.keySpaces,
                "Sweep: list of key-space sizes; the fill keeps its share of each key space, "
                "the measured operations scale too unless --ops is given",
                keySpaceRefusal);
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
  app.add_option("--against", options.againstPath,
                 "Time this build against another build of mapbench: both run every cell in "
                 "turns, each run in its own process, after checking that both push the same "
                 "values (" +
                     std::to_string(kAgainstPairs) + " pairs unless -r says)");
  app.add_option("--alpha", options.alpha, "Significance level of --against's verdicts")
      ->check(numberBetween(0.000001, 0.5))
      ->capture_default_str();
  app.add_option("--fail-above", options.failAbove,
                 "--against: exit with status 1 when a map is significantly slower by more than "
                 "this ratio (this build / the other), e.g. 1.05")
      ->check(numberBetween(0.000001, 1e9));
  app.add_flag("--count", options.count, countHelp());
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
  ListValues lists;
  addOptions(app, options, lists);
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
  options.maps = listElements(options.maps);
  options.parameterPairs = listElements(options.parameterPairs);
  options.parameterGrid = int32Elements(lists.parameterGrid);
  options.keySpaces = int32Elements(lists.keySpaces);

  // The fill inserts distinct keys, and no distribution can place more of them than the key
  // space holds (every distribution's inserts reach keys 0 .. key space, but the uniform fill
  // probes at random and would not find the last free slot); beyond that the fill would stop
  // short without a word. A --key-spaces sweep keeps the fill's share of each key space, so
  // the bound holds there too.
  if (options.config.fillOperations > options.config.keySpace) {
    err << "mapbench: --fill " << options.config.fillOperations << " is more than the key space of "
        << options.config.keySpace << " keys can hold (the fill inserts distinct keys)\n";
    return kUsageError;
  }

  if (!outputPathsUsable(options, err))
    return kUsageError;
  if (options.hugePages) {
    if (const std::optional<std::string> reason = hugePagesUnavailable()) {
      err << "mapbench: --huge-pages: " << *reason << "\n";
      return kUsageError;
    }
  }
  if (!options.againstPath.empty()) {
    if (::access(options.againstPath.c_str(), X_OK) != 0) {
      err << "mapbench: --against: " << options.againstPath << " is not an executable file\n";
      return kUsageError;
    }
    if (!options.csvPath.empty()) {
      err << "mapbench: --csv does not apply to --against (--json writes the comparison)\n";
      return kUsageError;
    }
    if (app.count("--repetitions") == 0)
      options.repetitions = kAgainstPairs;
  }
  options.opsGiven = app.count("--ops") > 0;
  if (options.count) {
    if (const std::optional<std::string> refusal =
            applyCountMode(options, options.opsGiven, app.count("--repetitions") > 0)) {
      err << "mapbench: " << *refusal << "\n";
      return kUsageError;
    }
  }
  applyPreset(app, *findPreset(options.workload), options.config);
  if (!options.keysPath.empty()) {
    if (const std::optional<std::string> refusal =
            useKeyFile(options.keysPath, options.keyFormat, options.config)) {
      err << "mapbench: " << *refusal << "\n";
      return kUsageError;
    }
  }
  if (const std::vector<std::string> names = listElements(lists.distributions); !names.empty()) {
    options.distributions.clear();
    for (const std::string& name : names)
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
