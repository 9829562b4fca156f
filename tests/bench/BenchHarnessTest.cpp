#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "bench/Against.h"
#include "bench/BenchmarkRunner.h"
#include "bench/Compare.h"
#include "bench/HugePages.h"
#include "bench/LatencySampler.h"
#include "bench/MapRegistry.h"
#include "bench/Statistics.h"
#include "maps/StdTreeMap.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempFolder.h"
#include "util/DummyIntPushOperator.h"
#include "workload/WorkloadGenerator.h"

namespace bench {
namespace {

// mapbench with `arguments` split at spaces; standard error is folded into the output.
struct ProgramResult {
  int status;
  std::string output;
};

ProgramResult runMapbench(const std::string& arguments,
                          test::StdoutMode mode = test::StdoutMode::kCapture) {
  std::vector<std::string> args;
  std::istringstream words(arguments);
  for (std::string word; words >> word;)
    args.push_back(word);
  const test::ProcessResult result = test::runProgram(MAPBENCH_EXECUTABLE, args, mode, 300);
  return {result.exited ? result.exitStatus : -1, result.out + result.err};
}

std::string allMapNames() {
  std::string names;
  for (const MapKind& kind : registeredMaps())
    names += (names.empty() ? "" : ",") + kind.name;
  return names;
}

constexpr const char* kTinyWorkload = "--key-space 20000 --fill 2000 --ops 20000 --no-progress";

TEST(MapbenchTest, CheckModeFindsEveryMapDeliveringTheSameValues) {
  const ProgramResult result =
      runMapbench(std::string("--check ") + kTinyWorkload + " -m " + allMapNames());
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_THAT(result.output, ::testing::HasSubstr("All maps agree."));
  for (const MapKind& kind : registeredMaps()) {
    if (kind.name != "dummy") {
      EXPECT_THAT(result.output, ::testing::HasSubstr(kind.name));
    }
  }
}

TEST(MapbenchTest, SmokeRunWritesConsistentTableJsonAndCsv) {
  const std::string json = test::tempPath("mapbench_smoke.json");
  const std::string csv = test::tempPath("mapbench_smoke.csv");
  const ProgramResult result =
      runMapbench(std::string(kTinyWorkload) + " -r 2 --key-spaces 5000,10000 --k-pairs 4:4,8:8" +
                  " -m " + allMapNames() + " --json " + json + " --csv " + csv);
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_THAT(result.output, ::testing::HasSubstr("median s"));

  std::ifstream jsonFile(json);
  const nlohmann::json document = nlohmann::json::parse(jsonFile);
  EXPECT_TRUE(document.at("context").contains("compiler"));
  EXPECT_TRUE(document.at("context").contains("cpu"));
  EXPECT_EQ(document.at("context").at("huge_pages"), false);
  EXPECT_THAT(result.output, ::testing::HasSubstr("Huge pages: not requested."));
  size_t rowsPerKeySpace = 0;
  for (const MapKind& kind : registeredMaps()) {
    if (kind.name != "dummy")
      rowsPerKeySpace += kind.usesTreeParameters ? 2 : 1;
  }
  ASSERT_EQ(document.at("results").size(), 2 * rowsPerKeySpace);
  for (const auto& row : document.at("results")) {
    EXPECT_EQ(row.at("repetitions"), 2);
    EXPECT_EQ(row.at("expected_size"), row.at("reported_size")) << row.at("map");
    // Every map counts its allocation exactly, within its estimate; the resident size is a
    // column of its own.
    const MapKind& kind = *findMap(row.at("map").get<std::string>());
    const TreeParameters parameters =
        kind.usesTreeParameters ? TreeParameters{row.at("k"), row.at("k_star")} : TreeParameters{};
    EXPECT_GT(row.at("bytes_per_entry").get<double>(), 0) << row.at("map");
    EXPECT_LE(row.at("bytes_per_entry").get<double>(), bytesPerEntryEstimate(kind, parameters))
        << row.at("map");
    // A number, or null where the resident difference is too small to resolve.
    ASSERT_TRUE(row.contains("rss_bytes_per_entry")) << row.at("map");
    EXPECT_TRUE(row.at("rss_bytes_per_entry").is_number() ||
                row.at("rss_bytes_per_entry").is_null())
        << row.at("map");
    // A run the noise of a shared machine made no longer than the no-op map's has no times.
    if (row.at("median_seconds").is_null()) {
      EXPECT_TRUE(row.at("min_seconds").is_null() && row.at("repetition_seconds").is_null());
      continue;
    }
    EXPECT_LE(row.at("min_seconds").get<double>(), row.at("median_seconds").get<double>());
    EXPECT_LE(row.at("median_seconds").get<double>(), row.at("max_seconds").get<double>());
    // Fill and operation counts scale with the key space (2000 fills per 20000 keys).
    EXPECT_EQ(row.at("fill_operations").get<int>() * 10, row.at("key_space").get<int>());
    // The median comes from the repetition times the file carries; the samples behind the
    // percentiles are one operation in 64.
    const auto times = row.at("repetition_seconds").get<std::vector<double>>();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_DOUBLE_EQ(median(times), row.at("median_seconds").get<double>());
    int64_t samples = 0, operations = 0;
    for (const auto& [type, latency] : row.at("latency_ns").items()) {
      samples += latency.at("samples").get<int64_t>();
      operations += latency.at("operations").get<int64_t>();
    }
    EXPECT_EQ(samples, operations / 64);
    // The percentiles are net of the clock's cost, which the row states.
    EXPECT_GE(row.at("clock_cost_ns").get<int64_t>(), 0);
  }

  std::ifstream csvFile(csv);
  std::string line;
  int dataLines = 0;
  while (std::getline(csvFile, line)) {
    if (!line.empty() && line[0] != '#' && line.rfind("map,", 0) != 0)
      ++dataLines;
  }
  EXPECT_EQ(dataLines, static_cast<int>(2 * rowsPerKeySpace));
  std::remove(json.c_str());
  std::remove(csv.c_str());
}

TEST(MapbenchTest, HugePagesRestartEveryMapWithTheTunableOrAreRefusedWhereTheKernelHasNone) {
  const std::string csv = test::tempPath("mapbench_huge.csv");
  const ProgramResult result = runMapbench(std::string(kTinyWorkload) +
                                           " -r 1 -m btree,abslbtree --huge-pages --csv " + csv);
  if (const std::optional<std::string> reason = hugePagesUnavailable()) {
    EXPECT_EQ(result.status, 2) << result.output;
    EXPECT_THAT(result.output, ::testing::HasSubstr(*reason));
    return;
  }
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_THAT(result.output,
              ::testing::HasSubstr("Huge pages: on for every map (glibc.malloc.hugetlb=1)."));
  std::ifstream csvFile(csv);
  std::stringstream text;
  text << csvFile.rdbuf();
  EXPECT_THAT(text.str(), ::testing::HasSubstr("; huge_pages=on\n"));
  EXPECT_THAT(text.str(), ::testing::HasSubstr(",huge_page_bytes,"));
  std::remove(csv.c_str());
}

TEST(HugePagesTest, TunableJoinsTheOthersAndOnlyAnActivePolicyCounts) {
  EXPECT_EQ(tunablesWithHugePages(std::nullopt), "glibc.malloc.hugetlb=1");
  EXPECT_EQ(tunablesWithHugePages("glibc.malloc.arena_max=1"),
            "glibc.malloc.arena_max=1:glibc.malloc.hugetlb=1");
  const std::string policy = test::tempPath("mapbench_thp_policy");
  for (const auto& [text, usable] :
       {std::pair{"always [madvise] never", true}, std::pair{"[always] madvise never", true},
        std::pair{"always madvise [never]", false}}) {
    std::ofstream(policy) << text << "\n";
    EXPECT_EQ(hugePagesUnavailable(policy).has_value(), !usable) << text;
  }
  std::remove(policy.c_str());
  EXPECT_THAT(hugePagesUnavailable(policy).value_or(""), ::testing::HasSubstr("cannot be read"));
}

TEST(MapbenchTest, HelpDocumentsEveryOptionAndBadInputIsRefused) {
  const ProgramResult help = runMapbench("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--maps",        "--list",         "--fill",         "--ops",          "--key-space",
        "--query-ratio", "--range-ratio",  "--delete-ratio", "--range-length", "--seed",
        "--k",           "--k-star",       "--k-pairs",      "--k-grid",       "--key-spaces",
        "--repetitions", "--sample-every", "--json",         "--csv",          "--in-process",
        "--check",       "--no-progress",  "--against",      "--alpha",        "--fail-above",
        "--keys",        "--key-format",   "--time-limit"}) {
    EXPECT_THAT(help.output, ::testing::HasSubstr(option));
  }
  EXPECT_THAT(help.output, ::testing::HasSubstr("scan-heavy"));
  // Each refusal is one line on standard error and exit status 2, before any run starts.
  for (const char* arguments :
       {"-m nosuchmap", "--query-ratio 1.5", "--sample-every 3", "--sample-every x",
        "--k-pairs 4-4", "--ops -1", "-r 0", "--distribution pareto", "--workload nosuch",
        "--theta 1.5", "-k 0 -m btree", "--k-star 0 -m csbtree", "--k-grid 0,1",
        "-m stdmultimap --key-space 2000000000 --fill 2000000000",
        // More fill than distinct keys, alone and in a sweep; numbers beyond their type.
        "--key-space 10 --fill 12", "--key-space 1000 --fill 1002 --key-spaces 100,10000",
        "--distribution latest --key-space 10 --fill 12", "--seed 99999999999999999999",
        "--fill 2147483648", "-r 99999999999",
        // An empty element of any comma-separated list.
        "--distribution ,zipf", "-m ,", "-m btree,", "--k-pairs 4:4,,8:8", "--k-grid 4,,8",
        "--key-spaces 1000,",
        // The no-op map alone measures nothing.
        "-m dummy", "-m dummy,dummy --check",
        // Integers are decimal or refused; options that need --against, or that it cannot
        // honour; a folder or a file that cannot run as the other build.
        "--fill 0x10", "-k 1e3", "--seed +1", "--alpha 0.1", "--fail-above 1.1", "--time-limit 9",
        "--against /tmp", "--against " MAPBENCH_EXECUTABLE " --check",
        "--against " MAPBENCH_EXECUTABLE " --csv x",
        "--against " MAPBENCH_EXECUTABLE " --in-process",
        "--against " MAPBENCH_EXECUTABLE " --alpha nan", "compare a b --alpha nan",
        "compare a b --fail-above nan"}) {
    const ProgramResult refused = runMapbench(arguments);
    EXPECT_EQ(refused.status, 2) << arguments << ": " << refused.output;
    EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1)
        << arguments << ": " << refused.output;
  }
  // An empty value, where a file name or a number belongs.
  for (const std::vector<std::string>& arguments :
       std::initializer_list<std::vector<std::string>>{{"--keys", ""},
                                                       {"--against", ""},
                                                       {"--json", ""},
                                                       {"--csv", ""},
                                                       {"-k", ""},
                                                       {"compare", "a", "b", "--json", ""}}) {
    const test::ProcessResult refused = test::runProgram(MAPBENCH_EXECUTABLE, arguments);
    EXPECT_EQ(refused.exitStatus, 2) << arguments[0] << ": " << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
  }
  const std::string notExecutable = test::tempPath("mapbench_not_executable");
  std::ofstream(notExecutable) << "#!/bin/sh\n";
  ::chmod(notExecutable.c_str(), 0644);
  EXPECT_THAT(runMapbench("--against " + notExecutable),
              ::testing::FieldsAre(2, ::testing::HasSubstr("is not an executable file")));
  std::remove(notExecutable.c_str());
  EXPECT_THAT(runMapbench("--ops -1").output, ::testing::HasSubstr("must be at least 0"));
  EXPECT_THAT(runMapbench("-k 0 -m btree").output, ::testing::HasSubstr("k must be"));
  EXPECT_THAT(runMapbench("-m btree,").output, ::testing::HasSubstr("empty element"));
  EXPECT_THAT(runMapbench("--key-space 10 --fill 12").output,
              ::testing::HasSubstr("--fill 12 is more than the 11 keys of key space 10"));
}

// A JSON report of a small run with four repetitions: enough for a verdict at alpha 0.05,
// and long enough that each map's run outlasts the no-op map's on a busy machine.
std::string tinyReport(const std::string& name) {
  const std::string path = test::tempPath(name);
  const ProgramResult result = runMapbench(
      "--key-space 20000 --fill 2000 --ops 400000 --no-progress -r 4 -m btree,stdmap --json " +
      path);
  EXPECT_EQ(result.status, 0) << result.output;
  return path;
}

void writeReport(const std::string& path, const Json& document) {
  std::ofstream(path) << document.dump(2);
}

TEST(CompareTest, AFileComparedWithItselfIsTheSameAndPassesAnyFailAbove) {
  const std::string report = tinyReport("mapbench_self.json");
  const std::string out = test::tempPath("mapbench_self_compare.json");
  const ProgramResult result =
      runMapbench("compare " + report + " " + report + " --fail-above 1 --json " + out);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_THAT(result.output, ::testing::Not(::testing::HasSubstr("warning")));
  std::ifstream file(out);
  const Json comparison = Json::parse(file);
  ASSERT_EQ(comparison["rows"].size(), 2u);
  for (const Json& row : comparison["rows"]) {
    EXPECT_EQ(row["repetition_seconds"]["verdict"], "same") << row["map"];
    EXPECT_EQ(row["median_seconds"]["ratio"], 1.0);
  }
  EXPECT_EQ(comparison["failed"], false);
  std::remove(report.c_str());
  std::remove(out.c_str());
}

TEST(CompareTest, SlowerRowsFailAboveTheirRatioAndDifferencesAreNamed) {
  ResultSet base;
  std::string error;
  const std::string report = tinyReport("mapbench_base.json");
  ASSERT_TRUE(readResults(report, base, error)) << error;
  // Times of a noisy machine set aside: base 1.0 .. 1.3 s, new twice that. The new side also
  // loses stdmap's row and has another seed and host.
  for (Json& row : base.rows) {
    row["repetition_seconds"] = {1.0, 1.1, 1.2, 1.3};
    row["median_seconds"] = 1.15;
  }
  ResultSet slower = base;
  slower.context["host"] = "elsewhere";
  slower.rows.clear();
  for (Json row : base.rows) {
    row["seed"] = 7;
    row["repetition_seconds"] = {2.0, 2.2, 2.4, 2.6};
    row["median_seconds"] = 2.3;
    if (row["map"] != "stdmap")
      slower.rows.push_back(row);
  }
  const Comparison comparison = compareResults(base, slower, 0.05);
  ASSERT_EQ(comparison.rows.size(), 1u);
  EXPECT_EQ(comparison.rows[0].verdict, Verdict::kSlower);
  EXPECT_DOUBLE_EQ(*comparison.rows[0].ratio, 2.0);
  EXPECT_NEAR(comparison.rows[0].test.p, 2.0 / 70, 1e-12);  // all four below all four
  ASSERT_EQ(comparison.onlyInBase.size(), 1u);
  EXPECT_EQ(comparison.onlyInBase[0]["map"], "stdmap");
  EXPECT_THAT(
      comparison.warnings,
      ::testing::ElementsAre("the workloads differ: seed 42 vs 7",
                             "the machines differ: host " +
                                 base.context["host"].get<std::string>() + " vs elsewhere"));
  EXPECT_EQ(compareResults(slower, base, 0.05).rows[0].verdict, Verdict::kFaster);
  EXPECT_THAT(slowerThan(comparison, 1.9), ::testing::SizeIs(1));
  EXPECT_THAT(slowerThan(comparison, 2.1), ::testing::IsEmpty());
  ASSERT_EQ(*comparison.rows[0].ratio, 2.0);
  EXPECT_THAT(slowerThan(comparison, 2.0), ::testing::IsEmpty());  // only beyond the ratio

  // Through the command line: the exit status follows --fail-above.
  const std::string newer = test::tempPath("mapbench_slower.json");
  writeReport(report, {{"context", base.context}, {"results", base.rows}});
  writeReport(newer, {{"context", slower.context}, {"results", slower.rows}});
  const ProgramResult failing =
      runMapbench("compare " + report + " " + newer + " --fail-above 1.9");
  EXPECT_EQ(failing.status, 1) << failing.output;
  EXPECT_THAT(failing.output, ::testing::HasSubstr("only in base: stdmap"));
  EXPECT_THAT(failing.output, ::testing::HasSubstr("slower (p 0.029)"));
  EXPECT_EQ(runMapbench("compare " + report + " " + newer + " --fail-above 2.1").status, 0);
  EXPECT_EQ(runMapbench("compare " + report + " /nonexistent.json").status, 2);
  std::remove(report.c_str());
  std::remove(newer.c_str());
}

TEST(CompareTest, RowsMeetOnlyTheirOwnCellAndKeySetUnlessBothSidesHoldOneCell) {
  auto row = [](int keySpace, const char* hash) {
    Json json = {{"map", "btree"}, {"key_space", keySpace}, {"distribution", "uniform"}};
    if (hash != nullptr)
      json["key_set"] = {{"hash", hash}};
    return json;
  };
  // One cell against two: the row meets its own cell, whichever side holds the one.
  ResultSet one, two;
  one.rows = {row(1000, nullptr)};
  two.rows = {row(2000, nullptr), row(1000, nullptr)};
  for (const auto& [base, fresh] : {std::pair{&one, &two}, std::pair{&two, &one}}) {
    const Comparison comparison = compareResults(*base, *fresh, 0.05);
    ASSERT_EQ(comparison.rows.size(), 1u);
    EXPECT_EQ(comparison.rows[0].base.at("key_space"), 1000);
    EXPECT_EQ(comparison.rows[0].fresh.at("key_space"), 1000);
    EXPECT_EQ(comparison.onlyInBase.size() + comparison.onlyInNew.size(), 1u);
  }
  // Rows over different key sets never meet.
  ResultSet sets, swapped;
  sets.rows = {row(1000, "aa"), row(1000, "bb")};
  swapped.rows = {row(1000, "bb"), row(1000, "aa")};
  const Comparison overSets = compareResults(sets, swapped, 0.05);
  ASSERT_EQ(overSets.rows.size(), 2u);
  for (const RowComparison& matched : overSets.rows)
    EXPECT_EQ(matched.base.at("key_set"), matched.fresh.at("key_set"));
  // Two single-cell files meet whatever their cells, with a warning.
  ResultSet other;
  other.rows = {row(2000, nullptr)};
  const Comparison singles = compareResults(one, other, 0.05);
  EXPECT_EQ(singles.rows.size(), 1u);
  EXPECT_THAT(singles.warnings,
              ::testing::ElementsAre(::testing::HasSubstr("the cells differ: key_space")));
}

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

TEST(AgainstTest, TheGateHoldsTheBuildsToEveryFigureOfTheValuesTheyPush) {
  const CheckReport here = {{"btree", {100, 5000, 10, 10, 50}}};
  const std::string path = test::tempPath("mapbench_check.json");
  std::ofstream(path) << checkReportJson(here).dump();
  CheckReport read;
  std::string error;
  ASSERT_TRUE(readCheckReport(path, read, error)) << error;
  EXPECT_EQ(checkDifference(here, read, {"btree"}), std::nullopt);
  for (const auto& [member, name] :
       {std::pair{&CheckFigures::valuesPushed, "values pushed"},
        std::pair{&CheckFigures::valueSum, "sum of the values"},
        std::pair{&CheckFigures::queries, "queries"}, std::pair{&CheckFigures::size, "size"}}) {
    CheckReport there = here;
    there["btree"].*member += 1;
    EXPECT_THAT(checkDifference(here, there, {"btree"}).value_or(""), ::testing::HasSubstr(name));
  }
  EXPECT_THAT(checkDifference(here, {}, {"btree"}).value_or(""),
              ::testing::HasSubstr("missing from the --check figures of the other build"));
  std::ofstream(path) << "{\"results\": []}";  // a table-only build: no figures
  EXPECT_FALSE(readCheckReport(path, read, error));
  std::remove(path.c_str());
}

// Runs `script` with sh; TMPDIR is `directory`.
test::ProcessResult runShell(const std::string& directory, const std::string& script) {
  return test::runProgram("/bin/sh", {"-c", "TMPDIR=" + directory + "; export TMPDIR; " + script},
                          test::StdoutMode::kCapture, 120);
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
    EXPECT_NE(::kill(pid, 0), 0) << "the hung run " << pid << " still runs";
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

TEST(MapbenchTest, UnwrittenResultsFailTheRunAndTheOtherFilesAreStillWritten) {
  const std::string csv = test::tempPath("mapbench_written.csv");
  std::remove(csv.c_str());
  const ProgramResult full = runMapbench(std::string(kTinyWorkload) +
                                         " -r 1 -m stdmap --json /dev/full" + " --csv " + csv);
  EXPECT_EQ(full.status, 1);
  EXPECT_THAT(full.output, ::testing::HasSubstr("could not write /dev/full"));
  EXPECT_TRUE(std::ifstream(csv).good());
  std::remove(csv.c_str());

  EXPECT_EQ(runMapbench(std::string(kTinyWorkload) + " -r 1 -m stdmap --csv /dev/full").status, 1);
  const ProgramResult fullStdout =
      runMapbench(std::string(kTinyWorkload) + " -r 1 -m stdmap", test::StdoutMode::kDevFull);
  EXPECT_EQ(fullStdout.status, 1);
  EXPECT_THAT(fullStdout.output, ::testing::HasSubstr("standard output"));
}

TEST(MapbenchTest, KeyFileRunsAgreeWithThePlainKeySpaceAndNameTheSet) {
  // 20001 keys: the slots 0 .. 20000 of key space 20000.
  const std::string keys = test::tempPath("mapbench_clustered_uint32");
  ASSERT_EQ(test::runProgram(MAKE_KEYS_EXECUTABLE, {"clustered", "20001", keys, "--seed", "3"})
                .exitStatus,
            0);
  // Slot i stands for the i-th key, so every map pushes the same values as over keys 0 ..
  // 20000: a query over slots covers exactly the keys of those slots.
  const std::string check = "--check --fill 2000 --ops 20000 --no-progress -m " + allMapNames() +
                            " --distribution uniform,zipf,latest ";
  const ProgramResult overFile = runMapbench(check + "--keys " + keys);
  EXPECT_EQ(overFile.status, 0) << overFile.output;
  EXPECT_THAT(overFile.output, ::testing::HasSubstr("All maps agree."));
  EXPECT_EQ(overFile.output, runMapbench(check + "--key-space 20000").output);

  const std::string json = test::tempPath("mapbench_keys.json");
  const std::string csv = test::tempPath("mapbench_keys.csv");
  const ProgramResult run =
      runMapbench("--fill 2000 --ops 20000 --no-progress -r 1 -m judy --keys " + keys + " --json " +
                  json + " --csv " + csv);
  ASSERT_EQ(run.status, 0) << run.output;
  std::ifstream jsonFile(json);
  const nlohmann::json row = nlohmann::json::parse(jsonFile)["results"][0];
  EXPECT_EQ(row["key_space"], 20000);
  EXPECT_EQ(row["key_set"]["file"], "mapbench_clustered_uint32");
  EXPECT_EQ(row["key_set"]["keys"], 20001);
  const std::string hash = row["key_set"]["hash"];
  EXPECT_EQ(hash.size(), 16u);
  EXPECT_THAT(run.output,
              ::testing::HasSubstr("Keys: mapbench_clustered_uint32, 20001 keys, hash " + hash));
  std::ifstream csvFile(csv);
  std::stringstream csvText;
  csvText << csvFile.rdbuf();
  EXPECT_THAT(csvText.str(), ::testing::HasSubstr(",key_set,key_count,key_hash\n"));
  EXPECT_THAT(csvText.str(),
              ::testing::HasSubstr(",mapbench_clustered_uint32,20001," + hash + "\n"));

  // Refusals: one line, exit status 2, before any run.
  const std::string unnamed = test::tempPath("mapbench_keys.bin");
  { std::ofstream(unnamed) << std::ifstream(keys, std::ios::binary).rdbuf(); }
  for (const std::string& arguments :
       {"--keys " + keys + " --key-space 20000", "--keys " + keys + " --key-spaces 100,200",
        "--keys " + keys + " --fill 20002", "--keys " + keys + " --key-format sosd64",
        "--keys " + unnamed, std::string("--keys /nonexistent/keys_uint32"),
        std::string("--key-format text")}) {
    const ProgramResult refused = runMapbench(arguments);
    EXPECT_EQ(refused.status, 2) << arguments << ": " << refused.output;
    EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1)
        << arguments << ": " << refused.output;
  }
  EXPECT_THAT(runMapbench("--keys " + unnamed).output, ::testing::HasSubstr("--key-format"));
  EXPECT_THAT(runMapbench("--keys " + keys + " --fill 20002").output,
              ::testing::HasSubstr("holds 20001 distinct keys, fewer than the fill's 20002"));
  for (const std::string& path : {keys, unnamed, json, csv})
    std::remove(path.c_str());
}

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
  std::string error;
  const auto isolated = runIsolated(*findMap("stdmultimap"), TreeParameters{}, config,
                                    RunOptions{true, false}, error);
  ASSERT_TRUE(isolated.has_value()) << error;
  const RunResult inProcess =
      runInProcess(*findMap("stdmultimap"), TreeParameters{}, config, RunOptions{true, false});
  EXPECT_EQ(isolated->check.valueSum, inProcess.check.valueSum);
  EXPECT_EQ(isolated->reportedSize, inProcess.reportedSize);
  EXPECT_GT(isolated->peakResidentBytes, 0);
}

TEST(BenchmarkRunnerTest, IsolatedRunCarriesTheChildsExceptionBack) {
  const MapKind failing{"failing", "throws when built", false,
                        [](const TreeParameters&, util::SplitPolicy) -> std::unique_ptr<util::Map> {
                          throw std::runtime_error("no memory for the root");
                        },
                        nullptr};
  std::string error;
  EXPECT_FALSE(
      runIsolated(failing, TreeParameters{}, WorkloadConfig{}, RunOptions{false, false}, error)
          .has_value());
  EXPECT_EQ(error, "the run of failing failed: no memory for the root");
}

TEST(StatisticsTest, MannWhitneyUMatchesPublishedAndHandCountedValues) {
  // Hollander and Wolfe's example in R's wilcox.test help: W = 35, one-sided p = 0.1272.
  const UTestResult textbook = mannWhitneyU(
      {0.80, 0.83, 1.89, 1.04, 1.45, 1.38, 1.91, 1.64, 0.73, 1.46}, {1.15, 0.88, 0.90, 0.74, 1.21});
  EXPECT_TRUE(textbook.exact);
  EXPECT_EQ(textbook.u, 35);
  EXPECT_NEAR(textbook.p, 2 * 0.1272061272, 1e-9);
  // Exact and counted by hand: all of x below all of y is 1 arrangement of C(6,3) = 20, or of
  // C(8,4) = 70, on either side; interleaved 1 3 5 7 / 2 4 6 8 gives U = 6, P(U <= 6) = 24/70.
  EXPECT_NEAR(mannWhitneyU({1, 2, 3}, {4, 5, 6}).p, 2.0 / 20, 1e-12);
  EXPECT_NEAR(mannWhitneyU({5, 6, 7, 8}, {1, 2, 3, 4}).p, 2.0 / 70, 1e-12);
  EXPECT_EQ(mannWhitneyU({5, 6, 7, 8}, {1, 2, 3, 4}).u, 16);
  EXPECT_NEAR(mannWhitneyU({1, 3, 5, 7}, {2, 4, 6, 8}).p, 2 * 24.0 / 70, 1e-12);
  // Ties: normal approximation with the tie-corrected variance and continuity correction. The
  // second is the data of an R-help thread on wilcox.test (W = 485, 25 and 26 values).
  const UTestResult tied = mannWhitneyU({1, 2, 2, 3, 4}, {2, 3, 5, 6, 6, 7});
  EXPECT_FALSE(tied.exact);
  EXPECT_EQ(tied.u, 4.5);
  EXPECT_NEAR(tied.p, 0.0641466187, 1e-9);
  std::vector<double> x(25, 359),
      y = {332, 85,  359, 359, 359, 220, 231, 300, 359, 237,  359, 183, 286,
           355, 250, 105, 359, 359, 298, 359, 359, 359, 28.6, 359, 359, 128};
  x[6] = 335;
  x[21] = 303;
  const UTestResult thread = mannWhitneyU(x, y);
  EXPECT_EQ(thread.u, 485);
  EXPECT_NEAR(thread.p, 0.000259418313, 1e-12);
  EXPECT_EQ(mannWhitneyU({2, 2, 2}, {2, 2, 2}).p, 1);
  // Three against three can never reach 0.05; four against four can.
  EXPECT_NEAR(smallestPValue(3, 3), 0.1, 1e-12);
  EXPECT_NEAR(smallestPValue(4, 4), 2.0 / 70, 1e-12);
  EXPECT_EQ(smallestPValue(0, 5), 1);
}

TEST(LatencySamplerTest, NearestRankPercentiles) {
  LatencySampler sampler;
  for (int64_t i = 100; i >= 1; --i)
    sampler.add(kInsert, i);
  const LatencySummary summary = sampler.summarize(kInsert);
  EXPECT_EQ(summary.samples, 100);
  EXPECT_EQ(summary.p50Nanos, 50);
  EXPECT_EQ(summary.p99Nanos, 99);
  EXPECT_EQ(sampler.summarize(kErase).samples, 0);

  // Three samples: the median is the middle one, and the 99th percentile the largest.
  for (int64_t nanos : {30, 10, 20})
    sampler.add(kErase, nanos);
  const LatencySummary few = sampler.summarize(kErase);
  EXPECT_EQ(few.p50Nanos, 20);
  EXPECT_EQ(few.p99Nanos, 30);
}

TEST(LatencySamplerTest, ClockCostIsTakenFromPercentilesDownToZero) {
  LatencySampler sampler;
  for (int64_t nanos : {40, 10, 100})
    sampler.add(kPointQuery, nanos);
  sampler.setClockCost(25);
  const LatencySummary summary = sampler.summarize(kPointQuery);
  EXPECT_EQ(summary.p50Nanos, 15);
  EXPECT_EQ(summary.p99Nanos, 75);
  sampler.setClockCost(500);
  EXPECT_EQ(sampler.summarize(kPointQuery).p50Nanos, 0);
  // Two readings in a row differ by the clock's cost: never negative, and far below a
  // millisecond on any machine this runs on.
  const int64_t cost = clockCostNanos();
  EXPECT_GE(cost, 0);
  EXPECT_LT(cost, 1'000'000);
}

}  // namespace
}  // namespace bench
