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

}  // namespace
}  // namespace bench
