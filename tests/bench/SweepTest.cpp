#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/Options.h"
#include "bench/Report.h"
#include "bench/Sweep.h"

namespace bench {
namespace {

// Parses `arguments` (split at spaces) as mapbench's command line.
std::optional<int> parse(const std::string& arguments, Options& options, std::string* errors) {
  std::vector<std::string> words = {"mapbench"};
  std::istringstream in(arguments);
  for (std::string word; in >> word;)
    words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& word : words)
    argv.push_back(word.c_str());
  std::ostringstream out, err;
  const std::optional<int> status =
      parseOptions(static_cast<int>(argv.size()), argv.data(), options, out, err);
  if (errors != nullptr)
    *errors = err.str();
  return status;
}

TEST(OptionsTest, PresetSetsTheMixAndExplicitOptionsOverrideIt) {
  Options scan;
  ASSERT_FALSE(parse("--workload scan-heavy", scan, nullptr));
  EXPECT_EQ(scan.config.measuredMix.queryRatio, 0.95);
  EXPECT_EQ(scan.config.measuredMix.rangeQueryRatio, 1.0);
  EXPECT_EQ(scan.config.measuredMix.deleteRatio, 0.0);
  EXPECT_EQ(scan.config.maxRangeSize, 100);

  Options overridden;
  ASSERT_FALSE(
      parse("--range-length 7 --workload scan-heavy --query-ratio 0.5", overridden, nullptr));
  EXPECT_EQ(overridden.config.measuredMix.queryRatio, 0.5);
  EXPECT_EQ(overridden.config.measuredMix.rangeQueryRatio, 1.0);
  EXPECT_EQ(overridden.config.maxRangeSize, 7);

  // Without a preset the measured run is the original workload.
  Options defaults;
  ASSERT_FALSE(parse("", defaults, nullptr));
  EXPECT_EQ(defaults.config.measuredMix.queryRatio, 0.7);
  EXPECT_EQ(defaults.config.measuredMix.rangeQueryRatio, 0.6);
  EXPECT_EQ(defaults.config.measuredMix.deleteRatio, 0.5);
  EXPECT_EQ(defaults.config.maxRangeSize, 1000);
  EXPECT_EQ(defaults.distributions, std::vector{test::KeyDistribution::kUniform});
}

TEST(OptionsTest, DistributionListSweepsAndRefusalsNameTheCulprit) {
  Options options;
  ASSERT_FALSE(parse("--distribution zipf,latest --theta 0.5", options, nullptr));
  EXPECT_EQ(options.distributions,
            (std::vector{test::KeyDistribution::kZipf, test::KeyDistribution::kLatest}));
  EXPECT_EQ(options.config.theta, 0.5);

  std::string errors;
  Options refused;
  EXPECT_EQ(parse("--k-pairs 16:16,1:16 -m csbtree,btree", refused, &errors), kUsageError);
  EXPECT_EQ(errors.rfind("mapbench: btree with k = 1, k_star = 16: ", 0), 0u) << errors;
}

TEST(OptionsTest, ListOptionsTakeCommaListsAndRepeatedOptions) {
  Options options;
  std::string errors;
  ASSERT_FALSE(
      parse("-m stdmap,btree -m csbtree --k-grid 4,8 --key-spaces 100,2147483646 "
            "--k-pairs 2:3 --k-pairs 5:6,7:8",
            options, &errors))
      << errors;
  EXPECT_EQ(options.maps, (std::vector<std::string>{"stdmap", "btree", "csbtree"}));
  EXPECT_EQ(options.parameterGrid, (std::vector<int32_t>{4, 8}));
  EXPECT_EQ(options.keySpaces, (std::vector<int32_t>{100, 2147483646}));
  EXPECT_EQ(options.parameterPairs, (std::vector<std::string>{"2:3", "5:6", "7:8"}));
}

TEST(OptionsTest, TheLimitsOfARangeAreAccepted) {
  Options options;
  ASSERT_FALSE(parse("--query-ratio 1 --theta 0.99 --sample-every 0", options, nullptr));
  EXPECT_EQ(options.config.measuredMix.queryRatio, 1.0);
  EXPECT_EQ(options.config.theta, 0.99);
  EXPECT_EQ(options.config.sampleEvery, 0);
}

TEST(SweepTest, ParameterSetsArePairsThenGridElseTheSinglePair) {
  Options options;
  options.parameters = {5, 6};
  EXPECT_EQ(parameterSets(options).size(), 1u);
  EXPECT_EQ(parameterSets(options)[0].k_star, 6);

  options.parameterPairs = {"8:32", "-1:2147483647"};
  options.parameterGrid = {4, 64};
  const std::vector<TreeParameters> sets = parameterSets(options);
  const std::vector<std::pair<int32_t, int32_t>> expected = {{8, 32}, {-1, 2147483647}, {4, 4},
                                                             {4, 64}, {64, 4},          {64, 64}};
  ASSERT_EQ(sets.size(), expected.size());
  for (size_t i = 0; i < sets.size(); ++i)
    EXPECT_EQ(std::make_pair(sets[i].k, sets[i].k_star), expected[i]) << i;
  EXPECT_FALSE(parseParameterPair("8:"));
  EXPECT_FALSE(parseParameterPair("8:2147483648"));
  EXPECT_FALSE(parseParameterPair("8:9x"));
}

TEST(SweepTest, ScalingKeepsTheFillShareAndOptionallyTheOperations) {
  const WorkloadConfig base;  // 1M fill and 10M operations over 10M keys
  const WorkloadConfig big = scaledTo(base, 1'000'000'000, false);
  EXPECT_EQ(big.fillOperations, 100'000'000);
  EXPECT_EQ(big.measuredOperations, 1'000'000'000);
  EXPECT_EQ(scaledTo(base, 1'000'000'000, true).measuredOperations, 10'000'000);
  EXPECT_EQ(scaledTo(base, 1000, true).fillOperations, 100);
  // 99.9 fills and 999 operations round to the nearest whole number.
  const WorkloadConfig small = scaledTo(base, 999, false);
  EXPECT_EQ(small.fillOperations, 100);
  EXPECT_EQ(small.measuredOperations, 999);
}

TEST(SweepTest, CellsShareAWorkloadAndTheEstimateCoversEntriesAndKeyFlags) {
  Options options;
  options.keySpaces = {1000, 2000};
  options.distributions = {test::KeyDistribution::kUniform, test::KeyDistribution::kLatest};
  const std::vector<Cell> cells =
      planCells(options, selectMaps({"dummy", "stdmap", "btree", "csbtree"}));
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[3].config.keySpace, 2000);
  EXPECT_EQ(cells[3].config.distribution, test::KeyDistribution::kLatest);
  EXPECT_EQ(cells[3].measurements.size(), 3u);  // the no-op map is every cell's baseline

  WorkloadConfig config;
  config.keySpace = 1'000'000'000;
  config.fillOperations = 100'000'000;
  MapKind kind = *findMap("btree");
  kind.estimatedBytesPerEntry = 20;
  const int64_t bytes = estimatedRunBytes(kind, TreeParameters{}, config);
  // At least the fill's entries and one bit per key; the measured run adds at most its inserts.
  EXPECT_GE(bytes, int64_t{100'000'000} * 20 + 125'000'000);
  EXPECT_LE(bytes, int64_t{100'000'000 + 2'500'000} * 20 + 125'000'000 + (int64_t{1} << 30));
  // Smaller leaves take more bytes per entry.
  EXPECT_GT(estimatedRunBytes(kind, TreeParameters{16, 4}, config), bytes);
  // Without deletes every update of the 10M operations is an insert: 1.5M entries more.
  WorkloadConfig noDeletes = config;
  noDeletes.measuredMix.deleteRatio = 0;
  EXPECT_EQ(estimatedRunBytes(kind, TreeParameters{}, noDeletes) - bytes, 1'500'000 * 20);
  // A key set costs the driver 4 bytes a key.
  auto keySet = std::make_shared<test::KeyFile>();
  keySet->keys.resize(1000);
  config.keySet = keySet;
  EXPECT_EQ(estimatedRunBytes(kind, TreeParameters{}, config), bytes + 4000);
}

// A btree measurement of 1000 entries in 16000 bytes, one repetition per time, each against
// a baseline of one second.
Measurement measurementOf(std::initializer_list<int64_t> nanos) {
  Measurement measurement{"btree", true, {}, WorkloadConfig{}, {}, {}};
  for (int64_t time : nanos) {
    RunResult run, baseline;
    run.measuredNanos = time;
    baseline.measuredNanos = 1'000'000'000;
    run.reportedSize = run.expectedSize = 1000;
    run.allocatedBytes = 16000;
    measurement.runs.push_back(run);
    measurement.baselines.push_back(baseline);
  }
  return measurement;
}

TEST(SummaryTest, TimesAreEachRepetitionMinusItsBaseline) {
  const Row row = summarize(measurementOf({5'000'000'000, 3'000'000'000, 4'000'000'000}));
  EXPECT_EQ(row.repetitions, 3);
  EXPECT_DOUBLE_EQ(row.medianSeconds, 3.0);
  EXPECT_DOUBLE_EQ(row.minSeconds, 2.0);
  EXPECT_DOUBLE_EQ(row.maxSeconds, 4.0);
  EXPECT_DOUBLE_EQ(row.nanosPerOperation, 300.0);  // 3 s over 10M operations
  EXPECT_DOUBLE_EQ(row.bytesPerEntry, 16.0);
}

TEST(SummaryTest, ResidentDifferencesBelowTheResolutionAreShownAsUnknown) {
  constexpr int64_t kBaseline = int64_t{64} << 20;
  for (const auto& [difference, shown] :
       {std::pair<int64_t, std::string>{-(int64_t{63} << 10), "-"},
        {kResidentResolutionBytes - 4096, "-"},
        {4 * kResidentResolutionBytes, "1048.6"}}) {  // 1 MiB over 1000 entries
    Measurement measurement{"stdmap", false, {}, WorkloadConfig{}, {}, {}};
    RunResult run, baseline;
    run.reportedSize = run.expectedSize = 1000;
    run.peakResidentBytes = kBaseline + difference;
    baseline.peakResidentBytes = kBaseline;
    measurement.runs = {run};
    measurement.baselines = {baseline};
    const Row row = summarize(measurement);

    std::ostringstream table, json;
    printTable(table, Context{}, {row});
    std::istringstream lines(table.str());
    std::string header, data;
    std::getline(lines, header);
    std::getline(lines, data);
    std::istringstream fields(data);
    std::vector<std::string> columns;
    for (std::string field; fields >> field;)
      columns.push_back(field);
    ASSERT_GT(columns.size(), 10u) << data;
    EXPECT_EQ(columns[10], shown) << difference;  // RSS B/e, after B/entry
    writeJson(json, Context{}, {row});
    EXPECT_EQ(nlohmann::json::parse(json.str())["results"][0]["rss_bytes_per_entry"].is_null(),
              shown == "-")
        << difference;
  }
}

TEST(SummaryTest, MedianOfAnEvenCountIsTheMeanOfTheMiddleTwo) {
  const Row row =
      summarize(measurementOf({5'000'000'000, 2'000'000'000, 4'000'000'000, 3'000'000'000}));
  EXPECT_DOUBLE_EQ(row.medianSeconds, 2.5);
}

// The cell of `line` under the right-aligned column headed `label` in `header`.
std::string cellUnder(const std::string& header, const std::string& line,
                      const std::string& label) {
  const size_t column = header.find(label);
  if (column == std::string::npos)
    return "no column " + label;
  const size_t end = column + label.size();
  const size_t start = line.rfind(' ', end - 1) + 1;
  return line.substr(start, end - start);
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> result;
  std::istringstream in(line + ",");
  for (std::string field; std::getline(in, field, ',');)
    result.push_back(field);
  return result;
}

TEST(ReportTest, ATypeWithoutSamplesHasNoPercentilesAndAZeroMedianIsStillANumber) {
  Measurement measurement = measurementOf({2'000'000'000});
  measurement.runs[0].latency[kInsert] = {3, 0, 7};  // a clock too coarse for most inserts
  measurement.runs[0].latency[kPointQuery] = {5, 40, 90};
  const std::vector<Row> rows = {summarize(measurement)};

  std::ostringstream table;
  printTable(table, Context{}, rows);
  std::istringstream tableLines(table.str());
  std::string header, line;
  std::getline(tableLines, header);
  std::getline(tableLines, line);
  EXPECT_EQ(cellUnder(header, line, "insert p50/p99"), "0/7") << table.str();
  EXPECT_EQ(cellUnder(header, line, "erase p50/p99"), "-") << table.str();
  EXPECT_EQ(cellUnder(header, line, "point p50/p99"), "40/90") << table.str();

  std::ostringstream csv;
  writeCsv(csv, Context{}, rows);
  std::istringstream csvLines(csv.str());
  while (std::getline(csvLines, header) && header.rfind("map,", 0) != 0) {
  }
  std::getline(csvLines, line);
  const std::vector<std::string> names = fields(header);
  const std::vector<std::string> values = fields(line);
  ASSERT_EQ(values.size(), names.size()) << csv.str();
  std::map<std::string, std::string> row;
  for (size_t i = 0; i < names.size(); ++i)
    row[names[i]] = values[i];
  EXPECT_EQ(row["insert_p50_ns"], "0");
  EXPECT_EQ(row["insert_p99_ns"], "7");
  EXPECT_EQ(row["erase_p50_ns"], "");
  EXPECT_EQ(row["erase_p99_ns"], "");
  EXPECT_EQ(row["point_p99_ns"], "90");
  EXPECT_EQ(row["range_p50_ns"], "");
}

}  // namespace
}  // namespace bench
