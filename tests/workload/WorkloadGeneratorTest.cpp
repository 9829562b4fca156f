#include "workload/WorkloadGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "maps/DummyMap.h"
#include "maps/StdTreeMap.h"
#include "util/DummyIntPushOperator.h"

namespace test {
namespace {

// Records every call as text, and checks it against a model of the present keys.
class LoggingMap final : public util::Map {
 public:
  void erase(int32_t key) override { log.push_back("erase " + std::to_string(key)); }
  void insert(int32_t key, int32_t value) override {
    log.push_back("insert " + std::to_string(key) + " " + std::to_string(value));
  }
  void pointQuery(int32_t key, util::IntPushOperator&) override {
    log.push_back("point " + std::to_string(key));
  }
  void rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator&) override {
    log.push_back("range " + std::to_string(lowKey) + " " + std::to_string(highKey));
  }
  int64_t size() override { return reportedSize; }

  std::vector<std::string> log;
  int64_t reportedSize = 0;
};

struct Streams {
  std::ostringstream out;
  std::ostringstream err;
};

TEST(ExecuteWorkloadTest, ZeroOperationsDrawNothingAndStillPrintTheSizeLine) {
  Streams run;
  LoggingMap map;
  util::DummyIntPushOperator op;
  WorkloadGenerator generator(42, run.out, run.err);
  generator.executeWorkload(0, 0.7, 0.6, 0.5, map, op, false);
  EXPECT_EQ(run.out.str(), "# desired tree size:\t0\ttree size reported by implementation:\t0\n");
  EXPECT_EQ(run.err.str(), "");

  // The stream after the empty run is the stream of a fresh generator.
  generator.executeWorkload(500, 0.7, 0.6, 0.5, map, op, true);
  LoggingMap fresh;
  WorkloadGenerator other(42, run.out, run.err);
  other.executeWorkload(500, 0.7, 0.6, 0.5, fresh, op, true);
  EXPECT_EQ(map.log, fresh.log);
}

TEST(ExecuteWorkloadTest, FillRunOnlyInsertsDistinctKeysWithValuesInRange) {
  Streams run;
  LoggingMap map;
  util::DummyIntPushOperator op;
  WorkloadGenerator generator(42, run.out, run.err);
  generator.executeWorkload(20000, 0.0, 0.5, 0.0, map, op, true);
  ASSERT_EQ(map.log.size(), 20000u);
  std::set<int32_t> keys;
  for (const std::string& line : map.log) {
    std::istringstream in(line);
    std::string kind;
    int32_t key, value;
    in >> kind >> key >> value;
    ASSERT_EQ(kind, "insert");
    EXPECT_TRUE(keys.insert(key).second) << "key inserted twice: " << key;
    EXPECT_GE(key, 0);
    EXPECT_LE(key, WorkloadGenerator::maxKey);
    EXPECT_GE(value, 42000000);
    EXPECT_LT(value, 43000000);
  }
  EXPECT_EQ(generator.getCurrentIndexSize(), 20000);
}

TEST(ExecuteWorkloadTest, MeasuredRunMixesOperationsAndKeepsTheBookkeepingExact) {
  Streams run;
  util::StdTreeMap map;  // one value per key, so its size mirrors the bookkeeping exactly
  LoggingMap log;
  util::DummyIntPushOperator op;
  WorkloadGenerator checked(42, run.out, run.err);
  WorkloadGenerator logged(42, run.out, run.err);
  checked.executeWorkload(5000, 0.0, 0.5, 0.0, map, op, false);
  logged.executeWorkload(5000, 0.0, 0.5, 0.0, log, op, true);
  log.log.clear();
  checked.executeWorkload(200000, 0.7, 0.6, 0.5, map, op, false);
  logged.executeWorkload(200000, 0.7, 0.6, 0.5, log, op, true);

  EXPECT_EQ(map.size(), checked.getCurrentIndexSize());
  EXPECT_EQ(run.err.str(), "") << "the bookkeeping and the map disagree";

  int inserts = 0, erases = 0, points = 0, ranges = 0;
  for (const std::string& line : log.log) {
    std::istringstream in(line);
    std::string kind;
    int64_t a = 0, b = 0;
    in >> kind >> a >> b;
    if (kind == "insert")
      ++inserts;
    if (kind == "erase")
      ++erases;
    if (kind == "point")
      ++points;
    if (kind == "range") {
      ++ranges;
      EXPECT_LE(a, b);
      EXPECT_LT(b - a, WorkloadGenerator::maxRangeSize);
      EXPECT_LE(b, WorkloadGenerator::maxKey);
    }
  }
  // 70% queries (60% of them ranges), 30% updates; deletes of absent keys make no call.
  EXPECT_NEAR(points, 200000 * 0.7 * 0.4, 2000);
  EXPECT_NEAR(ranges, 200000 * 0.7 * 0.6, 2000);
  EXPECT_NEAR(inserts, 200000 * 0.3 * 0.5, 2000);
  EXPECT_GT(erases, 0);
  EXPECT_LT(erases, inserts / 10);  // few random keys are present in a space of 10 million
}

TEST(ExecuteWorkloadTest, ASizeMismatchWarnsOnlyForTheMeasuredMap) {
  util::DummyIntPushOperator op;
  {
    Streams run;
    LoggingMap map;
    map.reportedSize = 3;
    WorkloadGenerator generator(42, run.out, run.err);
    generator.executeWorkload(10, 0.0, 0.5, 0.0, map, op, false);
    EXPECT_EQ(run.out.str(),
              "# desired tree size:\t10\ttree size reported by implementation:\t3\n");
    EXPECT_EQ(run.err.str(), "WARNING: TREE SIZE OF IMPLEMENTATION NOT CORRECT!\n");
  }
  {
    Streams run;
    util::DummyMap map;
    WorkloadGenerator generator(42, run.out, run.err);
    generator.executeWorkload(10, 0.0, 0.5, 0.0, map, op, true);
    EXPECT_EQ(run.out.str(),
              "# desired tree size:\t10\ttree size reported by implementation:\t-1\n");
    EXPECT_EQ(run.err.str(), "");
  }
}

// A factory for main() that records whether it was asked for a map.
struct FactoryProbe {
  int calls = 0;
  TreeMapFactory refusing() {
    return [this](const std::string&, int32_t, int32_t) -> std::optional<TreeMapChoice> {
      ++calls;
      throw std::invalid_argument(
          "k must be between 2 and 1073741823 (2 x k children per node, counted in 32 bits), got "
          "1");
    };
  }
  TreeMapFactory knowingOnly(std::string known) {
    return
        [this, known](const std::string& type, int32_t, int32_t) -> std::optional<TreeMapChoice> {
          ++calls;
          if (type != known)
            return std::nullopt;
          return TreeMapChoice{std::make_unique<util::DummyMap>(), "util.DummyMap"};
        };
  }
};

TEST(WorkloadMainTest, UnknownTypeExitsOneWithoutAnyOutput) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"BTREE"}, {"bTree"}, {""}, {"btree "}, {"16", "16", "avl"}}) {
    Streams run;
    FactoryProbe probe;
    EXPECT_EQ(WorkloadGenerator::main(args, probe.knowingOnly("btree"), run.out, run.err), 1);
    EXPECT_EQ(run.out.str(), "");
    EXPECT_EQ(run.err.str(), "");
  }
}

TEST(WorkloadMainTest, BadNumberExitsTwoWithOneLineAndCreatesNoMap) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"1x", "2", "btree"},
                                               {"16", "+5", "btree"},
                                               {"2147483648", "16", "csbtree"},
                                               {"", "", "btree"}}) {
    Streams run;
    FactoryProbe probe;
    EXPECT_EQ(WorkloadGenerator::main(args, probe.knowingOnly("btree"), run.out, run.err), 2);
    EXPECT_EQ(probe.calls, 0);
    EXPECT_EQ(run.out.str(), "");
    const std::string err = run.err.str();
    EXPECT_NE(err.find("invalid k"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

TEST(WorkloadMainTest, ARefusedTreeParameterExitsTwoBeforeAnyRun) {
  Streams run;
  FactoryProbe probe;
  EXPECT_EQ(WorkloadGenerator::main({"1", "16", "btree"}, probe.refusing(), run.out, run.err), 2);
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(run.out.str(), "");
  EXPECT_EQ(run.err.str(),
            "workload-generator: k must be between 2 and 1073741823 (2 x k children per node, "
            "counted in 32 bits), got 1\n");
}

// A map that runs out of memory at its first insert, as a tree whose accepted parameters
// no machine can hold.
class ExhaustedMap final : public util::Map {
 public:
  void erase(int32_t) override {}
  void insert(int32_t, int32_t) override { throw std::bad_alloc(); }
  void pointQuery(int32_t, util::IntPushOperator&) override {}
  void rangeQuery(int32_t, int32_t, util::IntPushOperator&) override {}
  int64_t size() override { return 0; }
};

TEST(WorkloadMainTest, NoMemoryForTheTreeOrNoWayToWriteTheResultsExitsThreeWithOneLine) {
  const std::string noMemory =
      "workload-generator: not enough memory for a btree with k = 1073741823 and k_star = 16\n";
  const TreeMapFactory exhausted = [](const std::string&, int32_t,
                                      int32_t) -> std::optional<TreeMapChoice> {
    return TreeMapChoice{std::make_unique<ExhaustedMap>(), "ExhaustedMap"};
  };
  const TreeMapFactory unallocated = [](const std::string&, int32_t,
                                        int32_t) -> std::optional<TreeMapChoice> {
    throw std::bad_alloc();
  };
  for (const TreeMapFactory& factory : {exhausted, unallocated}) {
    Streams run;
    EXPECT_EQ(WorkloadGenerator::main({"1073741823", "16", "btree"}, factory, run.out, run.err), 3);
    EXPECT_EQ(run.err.str(), noMemory);
  }
  Streams full;
  full.out.setstate(std::ios::badbit);
  FactoryProbe probe;
  EXPECT_EQ(WorkloadGenerator::main({"btree"}, probe.knowingOnly("btree"), full.out, full.err), 3);
  const std::string err = full.err.str();  // after the no-op map's size warnings
  EXPECT_EQ(err.substr(err.rfind('\n', err.size() - 2) + 1),
            "workload-generator: could not write the results to standard output\n");
}

TEST(WorkloadMainTest, ProgramFactoryAcceptsNoOtherSpellingOfTheTypes) {
  for (const char* type : {"BTREE", "CSBTree", "b-tree", "", "stdmap"}) {
    EXPECT_FALSE(createTreeMap(type, 16, 16).has_value()) << type;
  }
}

}  // namespace
}  // namespace test
