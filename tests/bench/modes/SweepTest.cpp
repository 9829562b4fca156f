#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/modes/Sweep.h"
#include "bench/options/Options.h"
#include "bench/output/Report.h"

namespace bench {
namespace {

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

// Workloads are the outermost dimension of the sweep; the best parameter pair is found per
// workload, never across two.
TEST(SweepTest, EachWorkloadOfAListHasItsOwnCellsAndItsOwnBestPair) {
  Options options;
  options.workloads = {{findPreset("read-only")->mix, 1000}, {{0.5, 1.0, 0.25}, 7}};
  options.distributions = {test::KeyDistribution::kUniform, test::KeyDistribution::kZipf};
  options.parameterPairs = {"8:8", "16:16"};
  const std::vector<Cell> cells = planCells(options, selectMaps({"btree"}));
  ASSERT_EQ(cells.size(), 4u);
  for (size_t i = 0; i < cells.size(); ++i) {
    const WorkloadConfig& config = cells[i].config;
    const MeasuredMix& workload = options.workloads[i / 2];
    EXPECT_EQ(config.distribution, options.distributions[i % 2]) << i;
    EXPECT_EQ(config.measuredMix.queryRatio, workload.mix.queryRatio) << i;
    EXPECT_EQ(config.measuredMix.rangeQueryRatio, workload.mix.rangeQueryRatio) << i;
    EXPECT_EQ(config.measuredMix.deleteRatio, workload.mix.deleteRatio) << i;
    EXPECT_EQ(config.maxRangeSize, workload.maxRangeSize) << i;
    ASSERT_EQ(cells[i].measurements.size(), 2u);
    EXPECT_EQ(cells[i].measurements[1].config.maxRangeSize, workload.maxRangeSize) << i;
  }

  // The first cell of each workload, its pair 8:8 faster under read-only, 16:16 under the other.
  std::vector<Row> rows;
  for (size_t i : {size_t{0}, size_t{2}}) {
    for (const Measurement& measurement : cells[i].measurements) {
      Row& row = rows.emplace_back();
      row.map = measurement.map;
      row.usesTreeParameters = true;
      row.parameters = measurement.parameters;
      row.config = measurement.config;
      row.medianSeconds = (measurement.parameters.k == 8) == (i == 0) ? 1.0 : 2.0;
    }
  }
  std::ostringstream best;
  printBestPairs(best, rows);
  EXPECT_EQ(best.str(),
            "best btree (workload custom, key space 10000000, uniform): k=16 k_star=16 median 1 s\n"
            "best btree (workload read-only, key space 10000000, uniform): k=8 k_star=8 median 1 "
            "s\n");
}

}  // namespace
}  // namespace bench
