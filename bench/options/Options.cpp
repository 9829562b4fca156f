#include "bench/options/Options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <limits>
#include <sstream>

#include "bench/run/BenchmarkRunner.h"
#include "bench/run/HugePages.h"
#include "bench/run/Valgrind.h"
#include "util/AtomicFile.h"
#include "workload/CommandLine.h"
#include "workload/ParseDecimal.h"

namespace bench {

namespace {

// An integer option read as decimal (leading zeros mean nothing: "010" is ten) from `minimum`
// to `maximum`; CLI11's own conversion would take "010" as octal and "0x10" as hexadecimal.
template <class Integer>
CLI::Option* addDecimalOption(CLI::App& app, const std::string& name, Integer& target,
                              const std::string& help, int64_t minimum,
                              int64_t maximum = std::numeric_limits<Integer>::max()) {
  return app
      .add_option_function<std::string>(
          name,
          [&target](const std::string& text) {
            target = static_cast<Integer>(*test::parseDecimal<int64_t>(text));
          },
          help)
      ->check(CLI::Validator(
          [minimum, maximum](std::string& text) {
            return decimalRefusal(text, minimum, maximum).value_or("");
          },
          ""))
      ->type_name("INT")
      ->default_str(std::to_string(target));
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

bool sameMix(const MeasuredMix& a, const MeasuredMix& b) {
  return a.mix.queryRatio == b.mix.queryRatio && a.mix.rangeQueryRatio == b.mix.rangeQueryRatio &&
         a.mix.deleteRatio == b.mix.deleteRatio && a.maxRangeSize == b.maxRangeSize;
}

std::string presetHelp() {
  std::ostringstream help;
  help << "Workload presets (--workload NAME sets the measured run's ratios and range length;\n"
          "explicit --query-ratio, --range-ratio, --delete-ratio or --range-length override;\n"
          "a list sweeps, each preset in cells of its own, named in the column workload, which\n"
          "says custom where the ratios and range length match no preset):\n";
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

// The list options' values as given, before listElements() splits them.
struct ListValues {
  std::vector<std::string> parameterGrid, keySpaces;
};

// Each workload field's option; its text goes to `texts` (in the fields' order) and is read
// into the configuration when the command line is resolved. A field that reads files is
// checked then only.
void addWorkloadOptions(CLI::App& app, std::vector<std::string>& texts) {
  const std::vector<WorkloadField>& fields = workloadFields();
  texts.resize(fields.size());
  const WorkloadConfig defaults;
  for (size_t i = 0; i < fields.size(); ++i) {
    const WorkloadField& field = fields[i];
    CLI::Option* option = app.add_option(field.option, texts[i], field.help)->type_name("VALUE");
    if (const std::optional<std::string> shown = field.write(defaults))
      option->default_str(*shown);
    if (field.list)
      option->multi_option_policy(CLI::MultiOptionPolicy::Join);  // joined with newlines
    if (field.readsFiles) {
      refuseEmpty(option);
    } else {
      option->check(CLI::Validator(
          [&field](std::string& text) {
            WorkloadConfig scratch;
            return field.read(text, scratch).value_or("");
          },
          ""));
    }
  }
}

void addOptions(CLI::App& app, Options& options, ListValues& lists) {
  addListOption(app, "-m,--maps", options.maps, "Maps to run (see --list)")->capture_default_str();
  app.add_flag("--list", options.list, "List the available maps and exit");
  addDecimalOption(app, "-k,--k", options.parameters.k, "Inner-node parameter of the trees",
                   std::numeric_limits<int32_t>::min());
  addDecimalOption(app, "--k-star", options.parameters.k_star, "Leaf parameter of the trees",
                   std::numeric_limits<int32_t>::min());
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
  addDecimalOption(app, "-r,--repetitions", options.repetitions, "Repetitions of every run", 1);
  refuseEmpty(
      app.add_option("--json", options.jsonPath, "Also write the results as JSON to this file"));
  CLI::Option* csv = refuseEmpty(
      app.add_option("--csv", options.csvPath, "Also write the results as CSV to this file"));
  CLI::Option* inProcess =
      app.add_flag("--in-process", options.inProcess,
                   "Run every map in this process instead of a fresh child process each");
  CLI::Option* check =
      app.add_flag("--check", options.check,
                   "Push into counting operators and check that all maps deliver the same "
                   "values (with --json, their figures go to the file)");
  app.add_flag("--no-progress", options.noProgress, "Never show the progress bar");
  app.add_flag("--count", options.count, countHelp());
  app.add_flag("--huge-pages", options.hugePages,
               "Back every map's memory with transparent huge pages (glibc.malloc.hugetlb=1 for "
               "all maps alike); the report says which pages were used");
  CLI::Option* against = refuseEmpty(app.add_option(
      "--against", options.againstPath,
      "Time this build against another build of mapbench: both run every cell in turns, each "
      "run in its own process, after checking that both push the same values (" +
          std::to_string(kAgainstPairs) + " pairs unless -r says)"));
  against->excludes(check)->excludes(inProcess)->excludes(csv);
  const VerdictOptionHandles verdict = addVerdictOptions(app, options.verdict);
  verdict.alpha->needs(against);
  verdict.failAbove->needs(against);
  options.timeLimitSeconds = kAgainstTimeLimitSeconds;
  addDecimalOption(app, "--time-limit", options.timeLimitSeconds,
                   "--against and --count: end the comparison, or the count, when one run of "
                   "either build, or one run under valgrind, takes longer than this many seconds",
                   1);
}

// The first element of `list` that an earlier one equals, or nothing: a value named twice
// in a list option would run the same cells twice, each reported as its own rival.
template <class T>
std::optional<T> firstRepeated(const std::vector<T>& list) {
  for (auto item = list.begin(); item != list.end(); ++item) {
    if (std::find(list.begin(), item, *item) != item)
      return *item;
  }
  return std::nullopt;
}

}  // namespace

std::string countHelp() {
  return "Count instead of timing: every map's measured operations run under valgrind's cache "
         "simulation (fixed caches: " +
         simulatedCachesText() +
         ") and the report gives instructions and D1/LL data misses per operation, the same on "
         "every run. Tens of times slower than timing: unless given, --ops " +
         std::to_string(kCountMeasuredOperations) +
         " and -r 1, which count a cell (the no-op map and the three default maps) in about a "
         "minute on a 2-core machine; "
         "--ops stays the same over --key-spaces. Needs valgrind on PATH; a counted run that "
         "takes longer than --time-limit seconds ends the count";
}

std::optional<std::string> applyCountMode(Options& options, bool opsGiven, bool repetitionsGiven) {
  if (options.check)
    return "--count and --check are two modes; give one";
  // Valgrind simulates no TLB: huge pages would change no count but the arenas' chunk layout.
  if (options.hugePages)
    return "--count simulates caches, not pages; --huge-pages does not apply";
  if (opsGiven && options.config.measuredOperations == 0)
    return "--count --ops 0 counts nothing; give at least one operation";
  if (options.inProcess)
    return "--count runs every map in a process of its own under valgrind; --in-process does "
           "not apply";
#if defined(__SANITIZE_ADDRESS__)
  return "--count: valgrind cannot run a build with AddressSanitizer";
#endif
  if (!marksMeasuredRun())
    return "--count: this build has no marks for valgrind (it was built without valgrind's "
           "headers)";
  if (findValgrind().empty())
    return "--count needs valgrind on PATH (Debian package valgrind)";
  if (!opsGiven)
    options.config.measuredOperations = kCountMeasuredOperations;
  // A --key-spaces sweep counts the same operations in every cell.
  options.opsGiven = true;
  if (!repetitionsGiven)
    options.repetitions = 1;
  return std::nullopt;
}

std::optional<TreeParameters> parseParameterPair(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return std::nullopt;
  const std::optional<int32_t> k = test::parseInt32(text.substr(0, colon));
  const std::optional<int32_t> kStar = test::parseInt32(text.substr(colon + 1));
  if (!k || !kStar)
    return std::nullopt;
  return TreeParameters{*k, *kStar};
}

std::vector<TreeParameters> parameterSets(const Options& options) {
  std::vector<TreeParameters> sets;
  for (const std::string& pair : options.parameterPairs) {
    if (const std::optional<TreeParameters> parameters = parseParameterPair(pair))
      sets.push_back(*parameters);
  }
  for (int32_t k : options.parameterGrid) {
    for (int32_t kStar : options.parameterGrid)
      sets.push_back({k, kStar});
  }
  if (sets.empty())
    sets.push_back(options.parameters);
  return sets;
}

std::optional<std::string> outputRefusal(const Options& options) {
  if (std::optional<std::string> clash = util::outputClash(
          {{"--keys", options.config.keyFile}, {"--against", options.againstPath}},
          {{"--json", options.jsonPath}, {"--csv", options.csvPath}})) {
    return clash;
  }
  // Found now rather than after the whole run.
  for (const std::string& path : {options.jsonPath, options.csvPath}) {
    if (!path.empty()) {
      if (std::optional<std::string> refusal = util::writableRefusal(path))
        return refusal;
    }
  }
  return std::nullopt;
}

std::vector<const MapKind*> selectMaps(const std::vector<std::string>& names) {
  std::vector<const MapKind*> kinds;
  for (const std::string& name : names)
    kinds.push_back(findMap(name));
  return kinds;
}

std::optional<int> parseChildOptions(int argc, const char* const* argv, Options& options,
                                     std::ostream& out, std::ostream& err) {
  CLI::App app{
      "mapbench: compares ordered int32 -> int32 multimaps on a seeded mixed workload.\n"
      "Each repetition runs every map (and the no-op map, whose time is subtracted) in a\n"
      "fresh process: an untimed fill, then the measured mix of inserts, deletes, point and\n"
      "range queries. The defaults reproduce workload-generator's operation stream."};
  app.footer(presetHelp());
  ListValues lists;
  std::vector<std::string> fieldTexts;
  addWorkloadOptions(app, fieldTexts);
  addOptions(app, options, lists);
  CLI::Option* keys = app.get_option("--keys");
  keys->excludes("--key-space")->excludes("--key-spaces");
  app.get_option("--key-format")->needs(keys);
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

  // The workload, stage by stage: the key space, the preset, then what overrides it and the
  // rest; the fill is checked against the final key space. Each preset of a --workload list
  // is resolved on its own over the same key space, so that what overrides a preset
  // overrides every one.
  const std::vector<WorkloadField>& fields = workloadFields();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].list)
      std::replace(fieldTexts[i].begin(), fieldTexts[i].end(), '\n', ',');
  }
  auto readStage = [&](Stage stage, WorkloadConfig& config) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].stage != stage || app.count(fields[i].option) == 0)
        continue;
      if (const std::optional<std::string> refusal = fields[i].read(fieldTexts[i], config)) {
        err << "mapbench: " << (fields[i].readsFiles ? "" : fields[i].option + ": ") << *refusal
            << "\n";
        return false;
      }
      if (fields[i].sweep == Sweep::kScaledUnlessGiven)
        options.opsGiven = true;
    }
    return true;
  };
  if (!readStage(Stage::kKeySpace, options.config))
    return kUsageError;
  std::string& presetText = fieldTexts[findWorkloadField("--workload") - fields.data()];
  const std::vector<std::string> presets =
      splitList(presetText).value_or(std::vector<std::string>{presetText});
  const WorkloadConfig keyed = options.config;
  options.workloads.clear();
  for (size_t p = 0; p < presets.size(); ++p) {
    WorkloadConfig config = keyed;
    presetText = presets[p];
    if (!readStage(Stage::kPreset, config) || !readStage(Stage::kRest, config))
      return kUsageError;
    const MeasuredMix mix{config.measuredMix, config.maxRangeSize};
    for (size_t q = 0; q < p; ++q) {
      // Two presets that run the same mix would run the same cells twice, each its own rival.
      if (!sameMix(options.workloads[q], mix))
        continue;
      if (presets[q] == presets[p])
        err << "mapbench: --workload names " << presets[p] << " more than once\n";
      else
        err << "mapbench: --workload: " << presets[q] << " and " << presets[p]
            << " run the same measured mix once the explicit ratio and range-length options "
               "apply; name one of them\n";
      return kUsageError;
    }
    if (p == 0)
      options.config = config;
    options.workloads.push_back(mix);
  }
  if (const std::optional<std::string> refusal = workloadRefusal(options.config)) {
    err << "mapbench: " << *refusal << "\n";
    return kUsageError;
  }
  if (app.count("--distribution") > 0) {
    options.distributions.clear();
    const std::string& names = fieldTexts[findWorkloadField("--distribution") - fields.data()];
    for (const std::string& name : splitList(names).value_or(std::vector<std::string>{}))
      options.distributions.push_back(*test::parseDistribution(name));
    if (const auto twice = firstRepeated(options.distributions)) {
      err << "mapbench: --distribution names " << test::distributionName(*twice)
          << " more than once\n";
      return kUsageError;
    }
  }
  if (const auto twice = firstRepeated(options.keySpaces)) {
    err << "mapbench: --key-spaces names " << *twice << " more than once\n";
    return kUsageError;
  }

  if (const std::optional<std::string> clash = outputRefusal(options)) {
    err << "mapbench: " << *clash << "\n";
    return kUsageError;
  }
  if (options.hugePages) {
    if (const std::optional<std::string> reason = hugePagesUnavailable()) {
      err << "mapbench: --huge-pages: " << *reason << "\n";
      return kUsageError;
    }
  }
  if (!options.againstPath.empty()) {
    struct stat file {};
    if (::stat(options.againstPath.c_str(), &file) != 0 || !S_ISREG(file.st_mode) ||
        ::access(options.againstPath.c_str(), X_OK) != 0) {
      err << "mapbench: --against: " << options.againstPath << " is not an executable file\n";
      return kUsageError;
    }
    if (app.count("--repetitions") == 0)
      options.repetitions = kAgainstPairs;
  }
  if (app.count("--time-limit") > 0 && options.againstPath.empty() && !options.count) {
    err << "mapbench: --time-limit applies to --against and --count only\n";
    return kUsageError;
  }
  if (options.count) {
    if (const std::optional<std::string> refusal =
            applyCountMode(options, options.opsGiven, app.count("--repetitions") > 0)) {
      err << "mapbench: " << *refusal << "\n";
      return kUsageError;
    }
  }

  if (const auto twice = firstRepeated(options.maps)) {
    err << "mapbench: -m names " << *twice << " more than once\n";
    return kUsageError;
  }
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

std::optional<int> parseOptions(int argc, const char* const* argv, Options& options,
                                std::ostream& out, std::ostream& err) {
  if (const std::optional<int> status = parseChildOptions(argc, argv, options, out, err))
    return status;
  // The no-op map is every run's baseline: on its own it measures nothing, not even itself.
  if (!options.list && std::all_of(options.maps.begin(), options.maps.end(),
                                   [](const std::string& name) { return name == "dummy"; })) {
    err << "mapbench: -m dummy alone measures nothing (the no-op map is the baseline whose "
           "time every other map's run is measured against); name another map\n";
    return kUsageError;
  }
  return std::nullopt;
}

}  // namespace bench
