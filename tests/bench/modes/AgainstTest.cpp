#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "bench/model/Statistics.h"
#include "bench/modes/Against.h"
#include "bench/run/BenchmarkRunner.h"
#include "bench/run/HugePages.h"
#include "bench/run/Valgrind.h"
#include "tests/support/Mapbench.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

using test::allMapNames;
using test::kTinyWorkload;
using test::ProgramResult;
using test::runMapbench;
using test::runShell;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(AgainstTest, TheSameBuildAgreesOverAKeySetAndTakesAboutTheSameTime) {
  const std::string keys = test::tempPath("mapbench_against_uint32");
  ASSERT_EQ(test::runProgram(MAKE_KEYS_EXECUTABLE, {"sparse", "200001", keys}).exitStatus, 0);
  const std::string out = test::tempPath("mapbench_against.json");
  const ProgramResult result =
      runMapbench("--keys " + keys + " --fill 20000 --ops 300000 -r 4 -m btree,stdmap" +
                  " --against " + MAPBENCH_EXECUTABLE + " --json " + out);
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_THAT(result.output, ::testing::HasSubstr("both builds pushed the same values"));
  std::ifstream file(out);
  const Json comparison = Json::parse(file);
  ASSERT_EQ(comparison.at("rows").size(), 2u);
  for (const Json& row : comparison.at("rows")) {
    // Both builds ran over the file's keys.
    EXPECT_EQ(row.at("key_space"), 200000);
    EXPECT_TRUE(row.contains("key_set")) << row.at("map");
    EXPECT_EQ(row.at("pair_ratios").at("values").size(), 4u);
    // Noise of a shared machine (ctest runs two tests at once), not a difference of builds:
    // a wide band around 1.
    EXPECT_GT(row.at("pair_ratios").at("median").get<double>(), 1.0 / 3) << row.at("map");
    EXPECT_LT(row.at("pair_ratios").at("median").get<double>(), 3.0) << row.at("map");
  }
  std::remove(out.c_str());
  std::remove(keys.c_str());
}

TEST(AgainstTest, TheVerdictAndThePairRatiosJudgeThisBuildAgainstTheOther) {
  // This build took twice the other's time in every pair.
  auto side = [](std::vector<double> times) {
    ResultSet results;
    results.rows = {{{"map", "btree"},
                     {"key_space", 1000},
                     {"distribution", "uniform"},
                     {"median_seconds", median(times)},
                     {"repetition_seconds", times}}};
    return results;
  };
  const Comparison comparison =
      compareBuilds(side({2.0, 2.6, 2.2, 2.4}), side({1.0, 1.3, 1.1, 1.2}), 0.05);
  ASSERT_EQ(comparison.rows.size(), 1u);
  EXPECT_EQ(comparison.rows[0].verdict, Verdict::kSlower);
  EXPECT_THAT(comparison.rows[0].pairRatios,
              ::testing::ElementsAre(::testing::DoubleEq(2), ::testing::DoubleEq(2),
                                     ::testing::DoubleEq(2), ::testing::DoubleEq(2)));
}

// The other build is a script that logs its file-size limit and arguments, then runs this
// build, once without a change and once with its counted instructions cut to 1 per operation.
TEST(AgainstTest, TheOtherBuildRunsBoundedWithEveryOptionAndIsTheBaseOfTheVerdict) {
  const std::string log = test::tempPath("runs.log"), other = test::tempPath("other");
  auto writeOther = [&](const std::string& then) {
    std::ofstream(other) << "#!/bin/sh\necho \"$(ulimit -f) $*\" >> " << log << "\n"
                         << MAPBENCH_EXECUTABLE << " \"$@\" || exit $?\n"
                         << then;
    ::chmod(other.c_str(), 0755);
  };
  writeOther("");
  const std::string tiny = std::string(kTinyWorkload) + " -r 1 -m btree,stdmap --against " + other;
  if (!hugePagesUnavailable()) {
    const ProgramResult huge = runMapbench(tiny + " --huge-pages");
    ASSERT_EQ(huge.status, 0) << huge.output;
    std::ifstream runs(log);
    bool checkedStdmap = false;
    for (std::string line; std::getline(runs, line);) {
      EXPECT_THAT(line, Not(::testing::StartsWith("unlimited")));
      EXPECT_THAT(line, HasSubstr("--huge-pages"));
      checkedStdmap |=
          line.find("--check") != std::string::npos && line.find("stdmap") != std::string::npos;
    }
    EXPECT_TRUE(checkedStdmap) << "a map without tree parameters was never checked";
  }
#if defined(__SANITIZE_ADDRESS__)
  return;  // valgrind cannot run a build with AddressSanitizer: no counted verdict to check
#endif
  if (findValgrind().empty() || !marksMeasuredRun())
    return;
  // The other build's report claims 1 instruction per operation: this build is the costlier.
  writeOther(
      "case \" $* \" in *\" --check \"*) exit 0;; esac\n"
      "for a; do [ \"$prev\" = --json ] && sed -i -E 's/\"instructions\": "
      "[0-9.e+]+/\"instructions\": "
      "1.0/' \"$a\"; prev=$a; done\nexit 0\n");
  const std::string count =
      std::string(
          "--key-space 20000 --fill 2000 --ops 2000 --no-progress -m btree --count --against ") +
      other + " --fail-above 1.01";
  const ProgramResult costlier = runMapbench(count);
  EXPECT_EQ(costlier.status, 1) << costlier.output;
  EXPECT_THAT(costlier.output, HasSubstr("x the base's instructions per operation, above 1.01"));
}

TEST(AgainstTest, AFloodingHangingOrInterruptedRunEndsTheComparisonAndLeavesNoFiles) {
  const std::string directory = test::tempPath("tmp");  // fresh: emptied with the test's folder
  ::mkdir(directory.c_str(), 0700);
  const std::string flood = directory + ".flood", hang = directory + ".hang",
                    pidFile = directory + ".pid";
  std::ofstream(flood) << "#!/bin/sh\nexec yes flood\n";
  std::ofstream(hang) << "#!/bin/sh\necho $$ > " << pidFile << "\nexec sleep 600\n";
  ::chmod(flood.c_str(), 0755);
  ::chmod(hang.c_str(), 0755);
  const std::string mapbench =
      std::string(MAPBENCH_EXECUTABLE) + " --key-space 1000 --fill 100 --ops 100 -m btree ";
  auto leftOver = [&directory]() { return test::runProgram("/bin/ls", {"-A", directory}).out; };
  for (const auto& [arguments, said] :
       {std::pair{"--against " + flood, "wrote more than 1 MiB to its standard output"},
        std::pair{"--time-limit 1 --against " + hang, "did not finish within the time limit"}}) {
    const test::ProcessResult result = runShell(directory, mapbench + arguments);
    EXPECT_EQ(result.exitStatus, 1) << arguments;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_THAT(result.err, ::testing::HasSubstr(said));
    EXPECT_EQ(leftOver(), "") << arguments;
  }
  // SIGTERM while the other build hangs: the hung run is ended, the folder removed, and
  // mapbench ends by the signal.
  std::remove(pidFile.c_str());
  const test::ProcessResult interrupted =
      runShell(directory, mapbench + "--against " + hang +
                              " & sleep 2; kill -TERM $!; wait $!; echo \"status $?\"");
  EXPECT_THAT(interrupted.out, ::testing::HasSubstr("status 143")) << interrupted.err;
  EXPECT_EQ(leftOver(), "");
  int pid = 0;
  if (std::ifstream(pidFile) >> pid) {
    EXPECT_TRUE(test::processEnded(pid)) << "the hung run " << pid << " still runs";
  }
  for (const std::string& path : {flood, hang, pidFile, directory})
    std::remove(path.c_str());
}

TEST(AgainstTest, BuildsThatPushDifferentValuesAreStoppedWithOneLine) {
  // "Another build" that runs a different operation stream: it swaps the seed for 7.
  const std::string other = test::tempPath("mapbench_other_seed.sh");
  std::ofstream(other) << "#!/bin/sh\nfor a; do shift; [ \"$previous\" = --seed ] && a=7; "
                          "set -- \"$@\" \"$a\"; previous=$a; done\nexec "
                       << MAPBENCH_EXECUTABLE << " \"$@\"\n";
  ::chmod(other.c_str(), 0755);
  const ProgramResult result =
      runMapbench(std::string(kTinyWorkload) + " -m btree --against " + other);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  EXPECT_THAT(result.output, ::testing::HasSubstr("btree values pushed: "));
  EXPECT_EQ(runMapbench("--against /nonexistent/mapbench").status, 2);
  std::remove(other.c_str());
}

}  // namespace
}  // namespace bench
