#include <gtest/gtest.h>

#include <memory>
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
  // A key set costs the driver 4 bytes a key.
  auto keySet = std::make_shared<test::KeyFile>();
  keySet->keys.resize(1000);
  config.keySet = keySet;
  EXPECT_EQ(estimatedRunBytes(kind, TreeParameters{}, config), bytes + 4000);
}

TEST(SummaryTest, TimesAreEachRepetitionMinusItsBaseline) {
  Measurement measurement{"btree", true, {}, WorkloadConfig{}, {}, {}};
  for (int64_t nanos : {5'000'000'000, 3'000'000'000, 4'000'000'000}) {
    RunResult run, baseline;
    run.measuredNanos = nanos;
    baseline.measuredNanos = 1'000'000'000;
    run.reportedSize = run.expectedSize = 1000;
    run.allocatedBytes = 16000;
    measurement.runs.push_back(run);
    measurement.baselines.push_back(baseline);
  }
  const Row row = summarize(measurement);
  EXPECT_EQ(row.repetitions, 3);
  EXPECT_DOUBLE_EQ(row.medianSeconds, 3.0);
  EXPECT_DOUBLE_EQ(row.minSeconds, 2.0);
  EXPECT_DOUBLE_EQ(row.maxSeconds, 4.0);
  EXPECT_DOUBLE_EQ(row.nanosPerOperation, 300.0);  // 3 s over 10M operations
  EXPECT_DOUBLE_EQ(row.bytesPerEntry, 16.0);
}

}  // namespace
}  // namespace bench
