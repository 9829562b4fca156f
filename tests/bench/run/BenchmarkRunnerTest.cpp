#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "bench/run/BenchmarkRunner.h"
#include "maps/StdTreeMap.h"
#include "util/DummyIntPushOperator.h"
#include "workload/WorkloadGenerator.h"

namespace bench {
namespace {

TEST(BenchmarkRunnerTest, IssuesTheSameOperationsAsTheWorkloadGenerator) {
  // The driver's bookkeeping after the same runs must agree, and so must the map's content.
  WorkloadConfig config;
  config.fillOperations = 20000;
  config.measuredOperations = 100000;
  const RunResult run =
      runInProcess(*findMap("stdmap"), TreeParameters{}, config, RunOptions{true, false});

  std::ostringstream out, err;
  util::StdTreeMap map;
  util::DummyIntPushOperator op;
  test::WorkloadGenerator generator(42, out, err);
  generator.executeWorkload(20000, 0.0, 0.5, 0.0, map, op, false);
  generator.executeWorkload(100000, 0.7, 0.6, 0.5, map, op, false);
  EXPECT_EQ(run.expectedSize, generator.getCurrentIndexSize());
  EXPECT_EQ(run.reportedSize, map.size());

  int64_t total = 0;
  for (int64_t count : run.operations)
    total += count;
  EXPECT_LE(total, 100000);  // deletes of absent keys make no call
  EXPECT_EQ(run.check.queries, run.operations[kPointQuery] + run.operations[kRangeQuery]);
  EXPECT_GT(run.latency[kRangeQuery].samples, 0);
}

TEST(BenchmarkRunnerTest, TreesAndTheReferenceAgreeUnderEveryDistribution) {
  WorkloadConfig config;
  config.keySpace = 30000;
  config.fillOperations = 3000;
  config.measuredOperations = 30000;
  for (test::KeyDistribution distribution :
       {test::KeyDistribution::kUniform, test::KeyDistribution::kZipf,
        test::KeyDistribution::kLatest}) {
    SCOPED_TRACE(std::string(test::distributionName(distribution)));
    config.distribution = distribution;
    const RunResult reference =
        runInProcess(*findMap("stdmultimap"), TreeParameters{}, config, RunOptions{true, false});
    EXPECT_EQ(reference.reportedSize, reference.expectedSize);
    EXPECT_GT(reference.check.valuesPushed, 0);
    for (const char* name : {"btree", "csbtree"}) {
      const RunResult run =
          runInProcess(*findMap(name), TreeParameters{4, 4}, config, RunOptions{true, false});
      EXPECT_EQ(run.reportedSize, reference.expectedSize) << name;
      EXPECT_EQ(run.check.valuesPushed, reference.check.valuesPushed) << name;
      EXPECT_EQ(run.check.valueSum, reference.check.valueSum) << name;
      EXPECT_EQ(run.check.endOfQuery, reference.check.queries) << name;
    }
  }
}

// The --check totals and the final size of one run of the reference map.
struct StreamTotals {
  test::KeyDistribution distribution;
  int64_t valuesPushed, valueSum, queries, size;
};

void expectTotals(const WorkloadConfig& base, const MapKind& kind,
                  std::initializer_list<StreamTotals> pins) {
  for (const StreamTotals& pin : pins) {
    SCOPED_TRACE(std::string(test::distributionName(pin.distribution)));
    WorkloadConfig config = base;
    config.distribution = pin.distribution;
    const RunResult run = runInProcess(kind, TreeParameters{}, config, RunOptions{true, false});
    EXPECT_EQ(run.check.valuesPushed, pin.valuesPushed);
    EXPECT_EQ(run.check.valueSum, pin.valueSum);
    EXPECT_EQ(run.check.queries, pin.queries);
    EXPECT_EQ(run.reportedSize, pin.size);
    EXPECT_EQ(run.expectedSize, pin.size);
  }
}

TEST(BenchmarkRunnerTest, EveryDistributionKeepsItsStreamOnADenseKeySpace) {
  // Every published figure depends on these streams staying what they are. Half the keys
  // are present and inserts outnumber the free keys, so the latest inserts wrap around the
  // key space and skip full stretches, zipf inserts probe past the top key, and latest
  // queries wrap below key 0.
  WorkloadConfig config;
  config.keySpace = 1000;
  config.fillOperations = 500;
  config.measuredOperations = 10000;
  expectTotals(config, *findMap("stdmultimap"),
               {{test::KeyDistribution::kUniform, 1017595, 43251080953423, 6957, 795},
                {test::KeyDistribution::kZipf, 955284, 40601334215589, 6967, 785},
                {test::KeyDistribution::kLatest, 677166, 28773160778160, 6975, 806}});
}

// Labelled slow (the whole default workload, three times).
TEST(DefaultRunTest, EveryDistributionKeepsItsTotalsAtTheDefaults) {
  expectTotals(WorkloadConfig{}, *findMap("csbtree"),
               {{test::KeyDistribution::kUniform, 345577750, 14687059847534610, 6998899, 2253649},
                {test::KeyDistribution::kZipf, 295761957, 12569859603199450, 6997571, 1551844},
                {test::KeyDistribution::kLatest, 707000181, 30047525979497223, 6997914, 1570456}});
}

TEST(BenchmarkRunnerTest, IsolatedRunReportsTheChildsResults) {
  WorkloadConfig config;
  config.keySpace = 50000;
  config.fillOperations = 5000;
  config.measuredOperations = 20000;
  std::ostringstream error;
  RunResult isolated;
  ASSERT_TRUE(runIsolated(*findMap("stdmultimap"), TreeParameters{}, config,
                          RunOptions{true, false}, isolated, error))
      << error.str();
  const RunResult inProcess =
      runInProcess(*findMap("stdmultimap"), TreeParameters{}, config, RunOptions{true, false});
  EXPECT_EQ(isolated.check.valueSum, inProcess.check.valueSum);
  EXPECT_EQ(isolated.reportedSize, inProcess.reportedSize);
  EXPECT_GT(isolated.peakResidentBytes, 0);
}

TEST(BenchmarkRunnerTest, AFailedRunIsOneLineForkedOrNot) {
  const MapKind failing{"failing", "throws when built", false,
                        [](const TreeParameters&, util::SplitPolicy) -> std::unique_ptr<util::Map> {
                          throw std::runtime_error("no memory for the root");
                        },
                        nullptr};
  // The same one line whether the run was forked or not.
  for (bool forked : {true, false}) {
    std::ostringstream error;
    RunResult result;
    EXPECT_FALSE(forked ? runIsolated(failing, TreeParameters{}, WorkloadConfig{},
                                      RunOptions{false, false}, result, error)
                        : runCatching(failing, TreeParameters{}, WorkloadConfig{},
                                      RunOptions{false, false}, result, error));
    EXPECT_EQ(error.str(), "mapbench: the run of failing failed: no memory for the root\n");
  }
}

}  // namespace
}  // namespace bench
