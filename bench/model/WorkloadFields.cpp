#include "bench/model/WorkloadFields.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

#include "bench/model/KeySetOption.h"
#include "util/NumberFormat.h"
#include "workload/ParseDecimal.h"

namespace bench {

namespace {

using Reader = std::function<std::optional<std::string>(const std::string&, WorkloadConfig&)>;
using Writer = std::function<std::optional<std::string>(const WorkloadConfig&)>;

template <class Integer>
Reader readInteger(Integer WorkloadConfig::*member, int64_t minimum,
                   int64_t maximum = std::numeric_limits<Integer>::max()) {
  return [=](const std::string& text, WorkloadConfig& config) {
    std::optional<std::string> refusal = decimalRefusal(text, minimum, maximum);
    if (!refusal)
      config.*member = static_cast<Integer>(*test::parseDecimal<int64_t>(text));
    return refusal;
  };
}

template <class Integer>
Writer writeInteger(Integer WorkloadConfig::*member) {
  return [=](const WorkloadConfig& config) { return std::to_string(config.*member); };
}

// A number from `minimum` to `maximum`, into the member `at` picks.
Reader readNumber(std::function<double&(WorkloadConfig&)> at, double minimum, double maximum) {
  return [=](const std::string& text, WorkloadConfig& config) -> std::optional<std::string> {
    const std::optional<double> value = parseNumber(text);
    if (!value || *value < minimum || *value > maximum) {
      std::ostringstream refusal;
      refusal << "must be a number from " << minimum << " to " << maximum << ", got '" << text
              << "'";
      return refusal.str();
    }
    at(config) = *value;
    return std::nullopt;
  };
}

Writer writeNumber(std::function<double(const WorkloadConfig&)> of) {
  return [=](const WorkloadConfig& config) { return util::formatDouble(of(config)); };
}

bool hasKeySet(const Row& row) {
  return row.config.keySet != nullptr;
}

// A column of the workload: matched or warned about by compare as `role` says.
Column workloadColumn(std::string name, Role role, std::function<Value(const Row&)> value) {
  return {.json = name, .csv = name, .role = role, .value = std::move(value)};
}

std::vector<WorkloadField> buildFields() {
  std::ostringstream thetaRange;
  thetaRange << test::kMinTheta << " to " << test::kMaxTheta;
  return {
      // A tree setting rather than a part of the workload, but one that every run of a tree and
      // every figure must name. Written only when it is not the default, so that a build that
      // predates it (which splits positionally) still takes the other settings.
      {.option = "--split",
       .help = "Where the trees split a full node: sequential (the default: after the new entry "
               "when insertions run in key order, else in the middle) or positional (always in "
               "the middle)",
       .read = [](const std::string& name, WorkloadConfig& config) -> std::optional<std::string> {
         const std::optional<util::SplitPolicy> policy = util::parseSplitPolicy(name);
         if (!policy)
           return "expected sequential or positional, got '" + name + "'";
         config.splitPolicy = *policy;
         return std::nullopt;
       },
       .write = [](const WorkloadConfig& config) -> std::optional<std::string> {
         if (config.splitPolicy == WorkloadConfig{}.splitPolicy)
           return std::nullopt;
         return std::string(util::splitPolicyName(config.splitPolicy));
       },
       .columns = {{.json = "split",
                    .csv = "split",
                    .table = "split",
                    .width = 10,
                    .left = true,
                    .role = Role::kMap,
                    .label = "split",
                    .value = [](const Row& row) -> Value {
                      return std::string(util::splitPolicyName(row.config.splitPolicy));
                    },
                    .present = [](const Row& row) { return row.usesTreeParameters; },
                    // Reports from before the rule was a choice: their trees split in the
                    // middle.
                    .whenMissing = [](const Json& row) -> std::optional<Json> {
                      if (!row.contains("k"))
                        return std::nullopt;
                      return Json(
                          std::string(util::splitPolicyName(util::SplitPolicy::kPositional)));
                    }}}},
      {.option = "--key-space",
       .help = "Every distribution reaches the slots 0 .. key-space (inserts probe up to "
               "key-space itself; uniform and zipf queries start below it)",
       .stage = Stage::kKeySpace,
       .read = readInteger(&WorkloadConfig::keySpace, 1, kMaxKeySpace),
       .write = [](const WorkloadConfig& config) -> std::optional<std::string> {
         if (config.keySet)
           return std::nullopt;  // the key set gives it
         return std::to_string(config.keySpace);
       },
       .sweep = Sweep::kCell,
       .columns = {{.json = "key_space",
                    .csv = "key_space",
                    .table = "keyspace",
                    .width = 11,
                    .role = Role::kCell,
                    .label = "keyspace",
                    .value = [](const Row& row) -> Value {
                      return int64_t{row.config.keySpace};
                    }}}},
      {.option = "--distribution",
       .help = "Key distribution of the measured run: uniform, zipf or latest; a list sweeps",
       .read = [](const std::string& text, WorkloadConfig& config) -> std::optional<std::string> {
         const std::optional<std::vector<std::string>> names = splitList(text);
         if (!names)
           return "empty element in the list '" + text + "'";
         for (const std::string& name : *names) {
           if (!test::parseDistribution(name))
             return "unknown distribution '" + name + "' (uniform, zipf, latest)";
         }
         config.distribution = *test::parseDistribution(names->front());
         return std::nullopt;
       },
       .write = [](const WorkloadConfig& config) -> std::optional<std::string> {
         return std::string(test::distributionName(config.distribution));
       },
       .list = true,
       .sweep = Sweep::kCell,
       .columns = {{.json = "distribution",
                    .csv = "distribution",
                    .table = "keys",
                    .width = 8,
                    .role = Role::kCell,
                    .label = "keys",
                    .value = [](const Row& row) -> Value {
                      return std::string(test::distributionName(row.config.distribution));
                    }}}},
      {.option = "--theta",
       .help = "Zipf exponent of zipf and latest, " + thetaRange.str(),
       .read = readNumber([](WorkloadConfig& config) -> double& { return config.theta; },
                          test::kMinTheta, test::kMaxTheta),
       .write = writeNumber([](const WorkloadConfig& config) { return config.theta; }),
       .columns = {{.json = "theta",
                    .csv = "theta",
                    .role = Role::kWorkload,
                    .value = [](const Row& row) -> Value { return row.config.theta; },
                    .present =
                        [](const Row& row) {
                          return row.config.distribution != test::KeyDistribution::kUniform;
                        }}}},
      // A list sweeps, each preset a cell of its own; the options read after it (the ratios,
      // the range length) override it in every cell. A row names its preset by what it ran.
      {.option = "--workload",
       .help = "Preset of the measured mix: " + presetNames() +
               "; a list sweeps, presets outermost (each preset's cells over every key space, "
               "distribution and k pair), the explicit ratio and range-length options "
               "overriding every preset",
       .stage = Stage::kPreset,
       .read = [](const std::string& text, WorkloadConfig& config) -> std::optional<std::string> {
         const std::optional<std::vector<std::string>> names = splitList(text);
         if (!names)
           return "empty element in the list '" + text + "'";
         for (const std::string& name : *names) {
           if (findPreset(name) == nullptr)
             return "unknown workload '" + name + "' (" + presetNames() + ")";
         }
         const WorkloadPreset& first = *findPreset(names->front());
         config.measuredMix = first.mix;
         config.maxRangeSize = first.maxRangeSize;
         return std::nullopt;
       },
       .write = [](const WorkloadConfig&) -> std::optional<std::string> {
         return std::nullopt;  // the ratios and the range length carry what it set
       },
       .list = true,
       .sweep = Sweep::kCell,
       // Rows always match on it, even where two files of one cell each meet whatever their
       // cells: a row of one mix set against a row of another compares nothing.
       .columns = {{.json = "workload",
                    .csv = "workload",
                    .table = "workload",
                    .width = 11,
                    .left = true,
                    .role = Role::kMap,
                    .label = "workload",
                    .value = [](const Row& row) -> Value {
                      return presetNameOf(row.config.measuredMix, row.config.maxRangeSize);
                    },
                    // Reports from before the column: the same name, from their ratio and
                    // range-length columns.
                    .whenMissing = [](const Json& row) -> std::optional<Json> {
                      const std::optional<double> query = numberAt(row, "query_ratio"),
                                                  range = numberAt(row, "range_ratio"),
                                                  deletes = numberAt(row, "delete_ratio"),
                                                  length = numberAt(row, "range_length");
                      if (!query || !range || !deletes || !length)
                        return std::nullopt;
                      return Json(presetNameOf({*query, *range, *deletes}, *length));
                    }}}},
      {.option = "--query-ratio",
       .help = "Share of queries in the measured run (the rest are updates)",
       .read = readNumber(
           [](WorkloadConfig& config) -> double& { return config.measuredMix.queryRatio; }, 0, 1),
       .write =
           writeNumber([](const WorkloadConfig& config) { return config.measuredMix.queryRatio; }),
       .columns = {workloadColumn(
           "query_ratio", Role::kWorkload,
           [](const Row& row) -> Value { return row.config.measuredMix.queryRatio; })}},
      {.option = "--range-ratio",
       .help = "Share of range queries among the queries",
       .read = readNumber(
           [](WorkloadConfig& config) -> double& { return config.measuredMix.rangeQueryRatio; }, 0,
           1),
       .write = writeNumber(
           [](const WorkloadConfig& config) { return config.measuredMix.rangeQueryRatio; }),
       .columns = {workloadColumn(
           "range_ratio", Role::kWorkload,
           [](const Row& row) -> Value { return row.config.measuredMix.rangeQueryRatio; })}},
      {.option = "--delete-ratio",
       .help = "Share of deletes among the updates",
       .read = readNumber(
           [](WorkloadConfig& config) -> double& { return config.measuredMix.deleteRatio; }, 0, 1),
       .write =
           writeNumber([](const WorkloadConfig& config) { return config.measuredMix.deleteRatio; }),
       .columns = {workloadColumn(
           "delete_ratio", Role::kWorkload,
           [](const Row& row) -> Value { return row.config.measuredMix.deleteRatio; })}},
      {.option = "--hit-ratio",
       .help = "Share of point queries that ask for a present key, drawn uniformly among the "
               "keys present at that moment; the rest ask for absent keys, drawn by the "
               "distribution (0 to 1; by default every point query asks for the key the "
               "distribution draws, present or not, so that most miss at a tenth's fill)",
       .read = readNumber(
           [](WorkloadConfig& config) -> double& { return config.hitRatio.emplace(); }, 0, 1),
       .write = [](const WorkloadConfig& config) -> std::optional<std::string> {
         if (!config.hitRatio)
           return std::nullopt;  // the drawn keys: an older build takes the other options
         return util::formatDouble(*config.hitRatio);
       },
       .columns = {{.json = "hit_ratio",
                    .csv = "hit_ratio",
                    .table = "hit",
                    .width = 5,
                    .decimals = 2,
                    .role = Role::kWorkload,
                    .label = "hit ratio",
                    .value = [](const Row& row) -> Value { return *row.config.hitRatio; },
                    .present = [](const Row& row) { return row.config.hitRatio.has_value(); }}}},
      {.option = "--range-length",
       .help = "Range lengths are drawn from 0 .. range-length - 1",
       .read = readInteger(&WorkloadConfig::maxRangeSize, 1, int64_t{1} << 30),
       .write = writeInteger(&WorkloadConfig::maxRangeSize),
       .columns = {workloadColumn(
           "range_length", Role::kWorkload,
           [](const Row& row) -> Value { return int64_t{row.config.maxRangeSize}; })}},
      {.option = "--fill",
       .help = "Untimed fill operations (inserts)",
       .read = readInteger(&WorkloadConfig::fillOperations, 0),
       .write = writeInteger(&WorkloadConfig::fillOperations),
       .sweep = Sweep::kScaled,
       .scaled = &WorkloadConfig::fillOperations,
       .columns = {workloadColumn(
           "fill_operations", Role::kWorkload,
           [](const Row& row) -> Value { return int64_t{row.config.fillOperations}; })}},
      {.option = "--ops",
       .help = "Measured operations",
       .read = readInteger(&WorkloadConfig::measuredOperations, 0),
       .write = writeInteger(&WorkloadConfig::measuredOperations),
       .sweep = Sweep::kScaledUnlessGiven,
       .scaled = &WorkloadConfig::measuredOperations,
       .columns = {workloadColumn(
           "measured_operations", Role::kWorkload,
           [](const Row& row) -> Value { return int64_t{row.config.measuredOperations}; })}},
      {.option = "--seed",
       .help = "Seed of the operation stream (64-bit)",
       .read = readInteger(&WorkloadConfig::seed, std::numeric_limits<int64_t>::min()),
       .write = writeInteger(&WorkloadConfig::seed),
       .columns = {{.json = "seed",
                    .role = Role::kWorkload,
                    .value = [](const Row& row) -> Value { return row.config.seed; }}}},
      {.option = "--sample-every",
       .help = "Time one operation in this many for latency percentiles (power of two, 0: off)",
       .read = [](const std::string& text, WorkloadConfig& config) -> std::optional<std::string> {
         const std::optional<int64_t> value = test::parseDecimal<int64_t>(text);
         if (!value || *value < 0 || *value > (int64_t{1} << 30) || (*value & (*value - 1)) != 0)
           return "must be 0 or a power of two up to 2^30, got '" + text + "'";
         config.sampleEvery = static_cast<int32_t>(*value);
         return std::nullopt;
       },
       .write = writeInteger(&WorkloadConfig::sampleEvery)},
      // The format is read before the file, which needs it.
      {.option = "--key-format",
       .help = "Format of the --keys file: sosd32, sosd64 (8-byte count, then unsigned keys, "
               "little-endian) or text (one integer a line); by default from a name ending "
               "in _uint32, _uint64 or .txt",
       .stage = Stage::kKeySpace,
       .read = [](const std::string& name, WorkloadConfig& config) -> std::optional<std::string> {
         if (!test::parseKeyFormat(name))
           return "expected sosd32, sosd64 or text, got '" + name + "'";
         config.keyFormat = name;
         return std::nullopt;
       },
       .write = [](const WorkloadConfig& config) -> std::optional<std::string> {
         if (!config.keySet)
           return std::nullopt;
         return config.keyFormat;
       }},
      // A run over a file's keys names the file, its distinct keys and their hash; rows of two
      // files match only where the hashes do, so results over different sets never meet.
      {.option = "--keys",
       .help = "The keys of this file are the key space: slot i of the workload is its i-th "
               "smallest distinct key",
       .stage = Stage::kKeySpace,
       .read = [](const std::string& path, WorkloadConfig& config) -> std::optional<std::string> {
         return useKeyFile(path, config.keyFormat, config);
       },
       .write = [](const WorkloadConfig& config) -> std::optional<std::string> {
         if (!config.keySet)
           return std::nullopt;
         return config.keyFile;
       },
       .readsFiles = true,
       .columns = {{.json = "key_set/file",
                    .csv = "key_set",
                    .role = Role::kWorkload,
                    .value = [](const Row& row) -> Value { return row.config.keySet->name; },
                    .present = hasKeySet},
                   {.json = "key_set/keys",
                    .csv = "key_count",
                    .value = [](const Row& row) -> Value {
                      return static_cast<int64_t>(row.config.keySet->keys.size());
                    },
                    .present = hasKeySet},
                   {.json = "key_set/hash",
                    .csv = "key_hash",
                    .role = Role::kCell,
                    .label = "key set",
                    .value = [](const Row& row) -> Value { return row.config.keySet->hashText(); },
                    .present = hasKeySet}},
       .columnsLast = true},
  };
}

}  // namespace

const std::vector<WorkloadField>& workloadFields() {
  static const std::vector<WorkloadField> fields = buildFields();
  return fields;
}

const WorkloadField* findWorkloadField(const std::string& option) {
  for (const WorkloadField& field : workloadFields()) {
    if (field.option == option)
      return &field;
  }
  return nullptr;
}

std::optional<std::string> workloadRefusal(const WorkloadConfig& config) {
  // The fill inserts distinct keys, and no distribution can place more of them than there are
  // slots (keys 0 .. key space, every distribution reaches each of them); beyond that the fill
  // would stop short without a word. A --key-spaces sweep keeps the fill's share of each key
  // space, so the bound holds there too.
  const int64_t slots = int64_t{config.keySpace} + 1;
  if (config.keySet && config.fillOperations > std::ssize(config.keySet->keys)) {
    return "--keys " + config.keyFile + " holds " + std::to_string(config.keySet->keys.size()) +
           " distinct keys, fewer than the fill's " + std::to_string(config.fillOperations) +
           " inserts need";
  }
  if (config.fillOperations > slots) {
    return "--fill " + std::to_string(config.fillOperations) + " is more than the " +
           std::to_string(slots) + " keys of key space " + std::to_string(config.keySpace) +
           " (0 .. " + std::to_string(config.keySpace) +
           ") can hold (the fill inserts distinct keys)";
  }
  return std::nullopt;
}

std::vector<std::string> workloadArguments(const WorkloadConfig& config) {
  std::vector<std::string> arguments;
  for (const WorkloadField& field : workloadFields()) {
    if (std::optional<std::string> text = field.write(config))
      arguments.insert(arguments.end(), {field.option, std::move(*text)});
  }
  return arguments;
}

void appendWorkloadColumns(std::vector<Column>& columns, bool last) {
  for (const WorkloadField& field : workloadFields()) {
    if (field.columnsLast == last)
      columns.insert(columns.end(), field.columns.begin(), field.columns.end());
  }
}

std::optional<std::string> decimalRefusal(const std::string& text, int64_t minimum,
                                          int64_t maximum) {
  const std::optional<int64_t> value = test::parseDecimal<int64_t>(text);
  if (!value || *value > maximum) {
    return "expected a decimal integer from " + std::to_string(minimum) + " to " +
           std::to_string(maximum) + ", got '" + text + "'";
  }
  if (*value < minimum)
    return "must be at least " + std::to_string(minimum);
  return std::nullopt;
}

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

std::optional<double> parseNumber(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value))
    return std::nullopt;
  return value;
}

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

std::string presetNameOf(const test::OperationMix& mix, double maxRangeSize) {
  for (const WorkloadPreset& preset : workloadPresets()) {
    if (mix.queryRatio == preset.mix.queryRatio &&
        mix.rangeQueryRatio == preset.mix.rangeQueryRatio &&
        mix.deleteRatio == preset.mix.deleteRatio && maxRangeSize == preset.maxRangeSize)
      return preset.name;
  }
  return kCustomWorkload;
}

std::string presetNames() {
  std::string names;
  for (const WorkloadPreset& preset : workloadPresets())
    names += (names.empty() ? "" : ", ") + std::string(preset.name);
  return names;
}

}  // namespace bench
