#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "bench/model/Columns.h"
#include "bench/model/Statistics.h"
#include "bench/run/HugePages.h"
#include "tests/support/Mapbench.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

using test::allMapNames;
using test::kTinyWorkload;
using test::ProgramResult;
using test::runMapbench;

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
  // A list of presets is checked preset by preset.
  const ProgramResult presets = runMapbench(std::string("--check ") + kTinyWorkload +
                                            " -m btree,stdmap --workload read-only,scan-heavy");
  EXPECT_EQ(presets.status, 0) << presets.output;
  EXPECT_THAT(presets.output, ::testing::HasSubstr("distribution uniform, workload read-only\n"));
  EXPECT_THAT(presets.output, ::testing::HasSubstr("distribution uniform, workload scan-heavy\n"));

  // Key spaces too, each cell keeping its own figures in the JSON file; "check" holds the last.
  const std::string json = test::tempPath("mapbench_check_cells.json");
  const ProgramResult cells =
      runMapbench(std::string("--check ") + kTinyWorkload +
                  " -m btree,stdmap --workload read-only,scan-heavy --key-spaces 10000,20000" +
                  " --json " + json);
  ASSERT_EQ(cells.status, 0) << cells.output;
  EXPECT_THAT(cells.output, ::testing::HasSubstr("workload scan-heavy, key space 20000\n"));
  std::ifstream file(json);
  const nlohmann::json report = nlohmann::json::parse(file);
  ASSERT_EQ(report["cells"].size(), 4u) << report.dump();
  std::set<std::pair<std::string, int>> seen;
  for (const nlohmann::json& cell : report["cells"]) {
    seen.insert({cell["workload"].get<std::string>(), cell["key_space"].get<int>()});
    ASSERT_EQ(cell["check"].size(), 2u) << cell.dump();
    // Both maps pushed the same values; the cells differ from one another.
    EXPECT_EQ(cell["check"][0]["value_sum"], cell["check"][1]["value_sum"]) << cell.dump();
  }
  EXPECT_EQ(seen.size(), 4u);
  EXPECT_NE(report["cells"][0]["check"][0]["value_sum"],
            report["cells"][3]["check"][0]["value_sum"]);
  EXPECT_EQ(report["check"], report["cells"][3]["check"]);
  std::remove(json.c_str());
}

// With --hit-ratio 1 every point query of a read-only run finds its one value (the stream never
// inserts a key twice), with 0 none does, in every map alike.
TEST(MapbenchTest, HitRatioDecidesWhetherEveryPointQueryFindsItsOneValue) {
  const std::string json = test::tempPath("mapbench_hit_ratio.json");
  for (const char* ratio : {"1", "0"}) {
    const ProgramResult result =
        runMapbench(std::string("--check --workload read-only --hit-ratio ") + ratio + " " +
                    kTinyWorkload + " -m " + allMapNames() + " --json " + json);
    ASSERT_EQ(result.status, 0) << result.output;
    std::ifstream file(json);
    const nlohmann::json report = nlohmann::json::parse(file);
    ASSERT_EQ(report["check"].size(), registeredMaps().size() - 1) << report.dump();
    for (const nlohmann::json& row : report["check"]) {
      EXPECT_EQ(row["queries"], 20000) << row.dump();
      EXPECT_EQ(row["values_pushed"], ratio == std::string("1") ? 20000 : 0) << row.dump();
    }
  }
  std::remove(json.c_str());
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

TEST(MapbenchTest, SigtermToATimedOrCheckRunEndsItsForkedChildToo) {
  const std::string children = test::tempPath("mapbench_children_") + std::to_string(::getpid());
  // A run of some seconds; its forked child is read from /proc once it exists.
  const std::string run = std::string(MAPBENCH_EXECUTABLE) +
                          " --key-space 1000000 --fill 100000 --ops 30000000 -m stdmap -r 1"
                          " --no-progress";
  for (const char* mode : {"", " --check"}) {
    std::remove(children.c_str());
    const test::ProcessResult ended = test::runShell(
        test::tempPath(""), run + mode +
                                " & p=$!; while kill -0 $p 2>/dev/null && [ -z \"$(cat "
                                "/proc/$p/task/$p/children 2>/dev/null)\" ]; do sleep 0.1; done; " +
                                "cat /proc/$p/task/$p/children > " + children +
                                "; kill -TERM $p; wait $p; echo \"status $?\"");
    EXPECT_THAT(ended.out, ::testing::HasSubstr("status 143")) << mode << ": " << ended.err;
    std::ifstream file(children);
    int found = 0;
    for (pid_t pid; file >> pid; ++found)
      EXPECT_TRUE(test::processEnded(pid)) << mode << ": the forked run " << pid << " still runs";
    EXPECT_GT(found, 0) << mode;
  }
  std::remove(children.c_str());
}

}  // namespace
}  // namespace bench
