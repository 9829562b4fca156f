#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/ChildOutput.h"
#include "bench/Compare.h"
#include "bench/Counting.h"
#include "bench/Report.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A callgrind output file as valgrind 3.19 writes it, with the cache events simulated;
// trailing zeros of the totals are left out as callgrind does.
constexpr const char* kCallgrindOutput =
    "# callgrind format\nversion: 1\ncreator: callgrind-3.19.0\n"
    "desc: D1 cache: 32768 B, 64 B, 8-way associative\n"
    "events: Ir Dr Dw I1mr D1mr D1mw ILmr DLmr DLmw\nsummary: 0\n\n"
    "fn=(1) main\n16 3 1\n"
    "totals: 119305480 28008118 9264434 212 1029675 5931 212 312572\n";

TEST(CallgrindTotalsTest, ReadsInstructionsAndDataMissesAndRefusesFilesWithoutThem) {
  std::istringstream output(kCallgrindOutput);
  const std::optional<EventCounts> counts = parseCallgrindTotals(output);
  ASSERT_TRUE(counts);
  EXPECT_TRUE(counts->counted);
  EXPECT_EQ(counts->instructions, 119305480);
  EXPECT_EQ(counts->d1Misses, 1029675 + 5931);
  EXPECT_EQ(counts->llMisses, 312572);  // DLmw left out: zero

  // Without the cache simulation a miss count of zero would be a lie; without totals there
  // is nothing.
  std::istringstream uncached("events: Ir\ntotals: 500\n");
  EXPECT_FALSE(parseCallgrindTotals(uncached));
  std::istringstream truncated("events: Ir Dr Dw I1mr D1mr D1mw ILmr DLmr DLmw\nfn=(1) main\n");
  EXPECT_FALSE(parseCallgrindTotals(truncated));
}

// One counted repetition of btree: 1000 operations over the no-op map's counts.
Row countedRow() {
  Measurement measurement{"btree", true, {}, WorkloadConfig{}, {}, {}};
  measurement.config.measuredOperations = 1000;
  RunResult run, baseline;
  run.reportedSize = run.expectedSize = 500;
  run.allocatedBytes = 6000;
  run.counts = {true, 900'000, 12'000, 3'500};
  baseline.counts = {true, 400'000, 2'000, 1'500};
  measurement.runs = {run};
  measurement.baselines = {baseline};
  return summarize(measurement);
}

std::string csvHeader(const std::vector<Row>& rows) {
  std::ostringstream csv;
  writeCsv(csv, Context{}, rows);
  std::istringstream lines(csv.str());
  std::string line;
  while (std::getline(lines, line) && line.rfind("map,", 0) != 0) {
  }
  return line;
}

TEST(ChildOutputTest, QuotesTheLastLineWithTextBoundedAndPrintable) {
  EXPECT_EQ(lastLine("first\nvalgrind: out of memory  \r\n \t\n\n"), "valgrind: out of memory");
  EXPECT_EQ(lastLine("bell\a and \x1b[2J\n"), "bell? and ?[2J");
  EXPECT_EQ(lastLine(std::string(400, 'x'), 300), std::string(300, 'x') + "...");
  EXPECT_EQ(lastLine(" \n\t\n"), "");
}

TEST(ChildOutputTest, TempDirectoryIsRemovedWithItsFiles) {
  std::string file;
  {
    const TempDirectory directory("mapbench-test");
    ASSERT_TRUE(directory.ok());
    file = directory.file("result");
    std::ofstream(file) << "figures";
    ASSERT_TRUE(std::filesystem::exists(file));
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(file).parent_path()));
}

TEST(CountReportTest, CountsAreTheMapsOverTheNoOpMapsPerOperationAndTimesAreLeftOut) {
  const Row row = countedRow();
  EXPECT_TRUE(row.counted);
  EXPECT_DOUBLE_EQ(row.instructionsPerOperation, 500.0);
  EXPECT_DOUBLE_EQ(row.d1MissesPerOperation, 10.0);
  EXPECT_DOUBLE_EQ(row.llMissesPerOperation, 2.0);

  std::ostringstream table;
  Context context;
  context.simulatedCaches = simulatedCachesText();
  printTable(table, context, {row});
  EXPECT_THAT(table.str(), HasSubstr("Ir/op"));
  EXPECT_THAT(table.str(), HasSubstr("LL 8388608 B 16-way"));
  EXPECT_THAT(table.str(), Not(HasSubstr("median s")));
  EXPECT_THAT(csvHeader({row}), HasSubstr("bytes_per_entry,"));
  EXPECT_THAT(csvHeader({row}), HasSubstr("instructions_per_op,d1_misses_per_op,ll_misses_per_op"));
  EXPECT_THAT(csvHeader({row}), Not(HasSubstr("median_s")));

  std::ostringstream json;
  writeJson(json, context, {row});
  const nlohmann::json document = nlohmann::json::parse(json.str());
  EXPECT_EQ(document["context"]["simulated_caches"], simulatedCachesText());
  EXPECT_EQ(document["results"][0]["counts_per_operation"]["d1_misses"], 10.0);
  EXPECT_FALSE(document["results"][0].contains("median_seconds"));

  // A timed report carries none of it.
  Row timed = row;
  timed.counted = false;
  std::ostringstream timedJson;
  writeJson(timedJson, Context{}, {timed});
  const nlohmann::json timedDocument = nlohmann::json::parse(timedJson.str());
  EXPECT_FALSE(timedDocument["context"].contains("simulated_caches"));
  EXPECT_FALSE(timedDocument["results"][0].contains("counts_per_operation"));
  EXPECT_THAT(csvHeader({timed}), Not(HasSubstr("instructions_per_op")));
}

TEST(CountReportTest, CompareGivesExactDifferencesAndFailsAboveOnInstructions) {
  std::ostringstream json;
  Context context;
  context.simulatedCaches = simulatedCachesText();
  writeJson(json, context, {countedRow()});
  ResultSet base;
  base.context = nlohmann::json::parse(json.str())["context"];
  base.rows = {nlohmann::json::parse(json.str())["results"][0]};
  ResultSet fresh = base;
  fresh.rows[0]["counts_per_operation"]["instructions"] = 540.0;
  const Comparison comparison = compareResults(base, fresh, 0.05);
  EXPECT_TRUE(comparison.counted);
  ASSERT_EQ(comparison.rows.size(), 1u);
  EXPECT_THAT(slowerThan(comparison, 1.05), ::testing::ElementsAre(HasSubstr("1.0800 x")));
  EXPECT_THAT(slowerThan(comparison, 1.09), ::testing::IsEmpty());
  const Json row = comparisonJson(comparison, base, fresh)["rows"][0];
  EXPECT_EQ(row["counts_per_operation"]["instructions"]["difference"], 40.0);
  EXPECT_EQ(row["counts_per_operation"]["ll_misses"]["ratio"], 1.0);
  EXPECT_FALSE(row.contains("repetition_seconds"));

  // A count report against a timed one is named, not compared as counts.
  ResultSet timed = base;
  timed.context.erase("simulated_caches");
  const Comparison mixed = compareResults(base, timed, 0.05);
  EXPECT_FALSE(mixed.counted);
  EXPECT_THAT(mixed.warnings, ::testing::ElementsAre(HasSubstr("counts vs times")));
}

struct ProgramRun {
  int status;
  std::string output;
};

ProgramRun mapbench(const std::vector<std::string>& args) {
  const test::ProcessResult result = test::runProgram(MAPBENCH_EXECUTABLE, args);
  return {result.exited ? result.exitStatus : -1, result.out + result.err};
}

const std::vector<std::string> kTinyCount = {"--count", "--key-space", "20000", "--fill",
                                             "2000",    "--ops",       "5000",  "--no-progress"};

std::vector<std::string> with(std::vector<std::string> args,
                              std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}

TEST(CountTest, TwoCountsOfACellAreIdenticalAndAnotherBuildCountsTheSame) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "valgrind cannot run a build with AddressSanitizer";
#endif
  if (findValgrind().empty())
    GTEST_SKIP() << "no valgrind on PATH";
  // Output files of different names must not move the counted process's heap.
  const std::string first = test::tempPath("count_a.json");
  const std::string second = test::tempPath("count_second_with_a_longer_name.json");
  const ProgramRun a = mapbench(with(kTinyCount, {"-m", "btree,abslbtree", "--json", first}));
  ASSERT_EQ(a.status, 0) << a.output;
  const ProgramRun b = mapbench(with(kTinyCount, {"-m", "btree,abslbtree", "--json", second}));
  ASSERT_EQ(b.status, 0) << b.output;
  const Json countsA = Json::parse(std::ifstream(first));
  const Json countsB = Json::parse(std::ifstream(second));
  ASSERT_EQ(countsA["results"].size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const Json& counts = countsA["results"][i]["counts_per_operation"];
    EXPECT_GT(counts["instructions"].get<double>(), 0) << countsA["results"][i]["map"];
    EXPECT_EQ(counts, countsB["results"][i]["counts_per_operation"]);
  }
  const ProgramRun same = mapbench({"compare", first, second, "--fail-above", "1"});
  EXPECT_EQ(same.status, 0) << same.output;
  EXPECT_THAT(same.output, HasSubstr("no test is made"));

  const std::string against = test::tempPath("count_against.json");
  // The same build as another one; abslbtree left out to save time.
  const ProgramRun builds =
      mapbench(with(kTinyCount, {"-m", "btree", "--against", MAPBENCH_EXECUTABLE, "--json", against,
                                 "--fail-above", "1"}));
  ASSERT_EQ(builds.status, 0) << builds.output;
  for (const Json& row : Json::parse(std::ifstream(against))["rows"]) {
    EXPECT_EQ(row["counts_per_operation"]["instructions"]["ratio"], 1.0) << row["map"];
    EXPECT_EQ(row["counts_per_operation"]["d1_misses"]["difference"], 0.0) << row["map"];
  }
  for (const std::string& path : {first, second, against})
    std::remove(path.c_str());
}

TEST(CountTest, WithoutValgrindOnPathCountingIsRefusedInOneLine) {
  const char* path = std::getenv("PATH");
  const std::string saved = path != nullptr ? path : "";
  ::setenv("PATH", "/nonexistent", 1);
  const ProgramRun refused = mapbench(kTinyCount);
  ::setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_THAT(refused.output, HasSubstr("valgrind on PATH"));
#endif
  EXPECT_EQ(mapbench(with(kTinyCount, {"--in-process"})).status, 2);
}

}  // namespace
}  // namespace bench
