#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "bench/BenchmarkRunner.h"
#include "bench/HugePages.h"
#include "bench/LatencySampler.h"
#include "bench/MapRegistry.h"
#include "tests/support/Subprocess.h"
#include "util/DummyIntPushOperator.h"
#include "util/StdTreeMap.h"
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
  const std::string json = ::testing::TempDir() + "mapbench_smoke.json";
  const std::string csv = ::testing::TempDir() + "mapbench_smoke.csv";
  const ProgramResult result =
      runMapbench(std::string(kTinyWorkload) + " -r 2 --key-spaces 5000,10000 --k-pairs 4:4,8:8" +
                  " -m " + allMapNames() + " --json " + json + " --csv " + csv);
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_THAT(result.output, ::testing::HasSubstr("median s"));

  std::ifstream jsonFile(json);
  const nlohmann::json document = nlohmann::json::parse(jsonFile);
  EXPECT_TRUE(document["context"].contains("compiler"));
  EXPECT_TRUE(document["context"].contains("cpu"));
  EXPECT_EQ(document["context"]["huge_pages"], false);
  EXPECT_THAT(result.output, ::testing::HasSubstr("Huge pages: not requested."));
  size_t rowsPerKeySpace = 0;
  for (const MapKind& kind : registeredMaps()) {
    if (kind.name != "dummy")
      rowsPerKeySpace += kind.usesTreeParameters ? 2 : 1;
  }
  ASSERT_EQ(document["results"].size(), 2 * rowsPerKeySpace);
  for (const auto& row : document["results"]) {
    EXPECT_EQ(row["repetitions"], 2);
    EXPECT_EQ(row["expected_size"], row["reported_size"]) << row["map"];
    // Every map counts its allocation exactly, within its estimate; the resident size is a
    // column of its own.
    const MapKind& kind = *findMap(row["map"].get<std::string>());
    const TreeParameters parameters =
        kind.usesTreeParameters ? TreeParameters{row["k"], row["k_star"]} : TreeParameters{};
    EXPECT_GT(row["bytes_per_entry"].get<double>(), 0) << row["map"];
    EXPECT_LE(row["bytes_per_entry"].get<double>(), bytesPerEntryEstimate(kind, parameters))
        << row["map"];
    EXPECT_TRUE(row["rss_bytes_per_entry"].is_number()) << row["map"];
    EXPECT_LE(row["min_seconds"].get<double>(), row["median_seconds"].get<double>());
    EXPECT_LE(row["median_seconds"].get<double>(), row["max_seconds"].get<double>());
    // Fill and operation counts scale with the key space (2000 fills per 20000 keys).
    EXPECT_EQ(row["fill_operations"].get<int>() * 10, row["key_space"].get<int>());
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
  const std::string csv = ::testing::TempDir() + "mapbench_huge.csv";
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
  const std::string policy = ::testing::TempDir() + "mapbench_thp_policy";
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
        "--check",       "--no-progress",  "--keys",         "--key-format"}) {
    EXPECT_THAT(help.output, ::testing::HasSubstr(option));
  }
  EXPECT_THAT(help.output, ::testing::HasSubstr("scan-heavy"));
  // Each refusal is one line on standard error and exit status 2, before any run starts.
  for (const char* arguments :
       {"-m nosuchmap", "--query-ratio 1.5", "--sample-every 3", "--sample-every x",
        "--k-pairs 4-4", "--ops -1", "-r 0", "--distribution pareto", "--workload nosuch",
        "--theta 1.5", "-k 0 -m btree", "--k-star 0 -m csbtree", "--k-grid 0,1",
        "-m stdmultimap --key-space 2000000000 --fill 2000000000"}) {
    const ProgramResult refused = runMapbench(arguments);
    EXPECT_EQ(refused.status, 2) << arguments << ": " << refused.output;
    EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1)
        << arguments << ": " << refused.output;
  }
  EXPECT_THAT(runMapbench("--ops -1").output, ::testing::HasSubstr("must be at least 0"));
  EXPECT_THAT(runMapbench("-k 0 -m btree").output, ::testing::HasSubstr("k must be"));
}

TEST(MapbenchTest, UnwrittenResultsFailTheRunAndTheOtherFilesAreStillWritten) {
  const std::string csv = ::testing::TempDir() + "mapbench_written.csv";
  std::remove(csv.c_str());
  const ProgramResult missingDirectory = runMapbench(
      std::string(kTinyWorkload) + " -r 1 -m stdmap --json /nonexistent/x.json" + " --csv " + csv);
  EXPECT_EQ(missingDirectory.status, 1);
  EXPECT_THAT(missingDirectory.output, ::testing::HasSubstr("could not write /nonexistent/x.json"));
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
  const std::string keys = ::testing::TempDir() + "mapbench_clustered_uint32";
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

  const std::string json = ::testing::TempDir() + "mapbench_keys.json";
  const std::string csv = ::testing::TempDir() + "mapbench_keys.csv";
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
  const std::string unnamed = ::testing::TempDir() + "mapbench_keys.bin";
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
                        [](const TreeParameters&) -> std::unique_ptr<util::Map> {
                          throw std::runtime_error("no memory for the root");
                        },
                        nullptr};
  std::string error;
  EXPECT_FALSE(
      runIsolated(failing, TreeParameters{}, WorkloadConfig{}, RunOptions{false, false}, error)
          .has_value());
  EXPECT_EQ(error, "the run of failing failed: no memory for the root");
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
}

}  // namespace
}  // namespace bench
