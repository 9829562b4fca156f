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

#include <signal.h>
#include <sys/stat.h>

#include "bench/modes/Compare.h"
#include "bench/output/Report.h"
#include "bench/run/BenchmarkRunner.h"
#include "bench/run/Valgrind.h"
#include "tests/support/Mapbench.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

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

TEST(CountReportTest, CountsAreTheMapsOverTheNoOpMapsPerOperationAndTimesAreLeftOut) {
  const Row row = countedRow();
  EXPECT_TRUE(row.counted);
  EXPECT_FALSE(row.tooShortToTime);  // its time is valgrind's, and nothing was timed
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
  EXPECT_THAT(table.str(), Not(HasSubstr("too short")));
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

TEST(CountArgumentsTest, TheCountedRunSamplesNoLatencyAndValgrindSimulatesTheNamedCaches) {
  WorkloadConfig config;
  config.sampleEvery = 16;
  const std::vector<std::string> args = countedRunArguments(*findMap("btree"), {}, config);
  const auto sampling = std::find(args.begin(), args.end(), "--sample-every");
  ASSERT_NE(sampling, args.end());
  EXPECT_EQ(*std::next(sampling), "0");

  const std::vector<std::string> valgrind = valgrindArguments("counts", "log");
  for (const char* cache : {"--I1=32768,8,64", "--D1=32768,8,64", "--LL=8388608,16,64"})
    EXPECT_THAT(valgrind, ::testing::Contains(cache));
  EXPECT_THAT(simulatedCachesText(), HasSubstr("LL 8388608 B 16-way"));
}

using ProgramRun = test::ProgramResult;

ProgramRun mapbench(const std::vector<std::string>& args) {
  return test::runMapbench(args);
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

TEST(CountTest, OptionsACountCannotApplyAreRefusedInOneLine) {
  for (const char* option : {"--check", "--huge-pages"}) {
    const ProgramRun refused = mapbench(with(kTinyCount, {option}));
    EXPECT_EQ(refused.status, 2) << option;
    EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
  }
  std::vector<std::string> noOperations = kTinyCount;
  *std::next(std::find(noOperations.begin(), noOperations.end(), "--ops")) = "0";
  EXPECT_EQ(mapbench(noOperations).status, 2);
}

// The counted runs take the keys read once: a stream works, and its counts are a file's.
TEST(CountTest, ACountOverAStreamOfKeysCountsTheKeysItRead) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "valgrind cannot run a build with AddressSanitizer";
#endif
  if (findValgrind().empty())
    GTEST_SKIP() << "no valgrind on PATH";
  const std::string folder = test::tempPath();
  const std::string count = std::string(MAPBENCH_EXECUTABLE) +
                            " --count --fill 1000 --ops 2000 -m btree --no-progress --key-format "
                            "text --json " +
                            folder + "/";
  const test::ProcessResult file =
      test::runShell(folder, "seq 1 3 6000 > " + folder + "/keys && " + count +
                                 "file.json --keys " + folder + "/keys");
  ASSERT_EQ(file.exitStatus, 0) << file.err;
  const test::ProcessResult stream =
      test::runShell(folder, "seq 1 3 6000 | " + count + "stream.json --keys /dev/stdin");
  ASSERT_EQ(stream.exitStatus, 0) << stream.err;
  const Json fromFile = Json::parse(std::ifstream(folder + "/file.json"))["results"][0];
  const Json fromStream = Json::parse(std::ifstream(folder + "/stream.json"))["results"][0];
  EXPECT_EQ(fromStream["key_set"]["hash"], fromFile["key_set"]["hash"]);
  EXPECT_EQ(fromStream["counts_per_operation"], fromFile["counts_per_operation"]);
}

// A "valgrind" that never finishes, with a child of its own, writing both pids to `pids`.
std::string hangingValgrind(const std::string& folder, const std::string& pids) {
  ::mkdir(folder.c_str(), 0700);
  const std::string path = folder + "/valgrind";
  std::ofstream(path) << "#!/bin/sh\nsleep 600 &\necho $$ $! > " << pids << "\nwait\n";
  ::chmod(path.c_str(), 0755);
  return folder;
}

TEST(CountTest, AHangingValgrindEndsAtTheTimeLimitAndAnInterruptLeavesNoChildOrFolder) {
  if (!marksMeasuredRun())
    GTEST_SKIP() << "this build cannot count";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "valgrind cannot run a build with AddressSanitizer";
#endif
  const std::string base = test::tempPath("mapbench_count_hang_") + std::to_string(::getpid());
  const std::string temporary = base + ".tmp", pids = base + ".pids";
  ::mkdir(temporary.c_str(), 0700);
  const std::string fake = hangingValgrind(base + ".bin", pids);
  const std::string count = "PATH=" + fake + ":$PATH " + MAPBENCH_EXECUTABLE +
                            " --count --key-space 1000 --fill 100 --ops 100 -m btree --no-progress";
  auto expectGone = [&](const std::string& what) {
    std::ifstream file(pids);
    for (pid_t pid; file >> pid;)
      EXPECT_TRUE(test::processEnded(pid)) << what << ": " << pid << " still runs";
    EXPECT_EQ(test::runProgram("/bin/ls", {"-A", temporary}).out, "") << what;
  };
  const test::ProcessResult timed = test::runShell(temporary, count + " --time-limit 1");
  EXPECT_EQ(timed.exitStatus, 1);
  EXPECT_EQ(std::count(timed.err.begin(), timed.err.end(), '\n'), 1) << timed.err;
  EXPECT_THAT(timed.err, HasSubstr("did not finish within the time limit of 1 s"));
  expectGone("--time-limit");
  for (const char* signal : {"TERM", "HUP"}) {
    std::remove(pids.c_str());
    const test::ProcessResult interrupted = test::runShell(
        temporary, count + " & while [ ! -s " + pids + " ]; do sleep 0.1; done; kill -" + signal +
                       " $!; wait $!; echo \"status $?\"");
    EXPECT_THAT(interrupted.out,
                HasSubstr(signal == std::string("TERM") ? "status 143" : "status 129"))
        << interrupted.err;
    expectGone(signal);
  }
  std::filesystem::remove_all(fake);
  std::filesystem::remove_all(temporary);
  std::remove(pids.c_str());
}

}  // namespace
}  // namespace bench
