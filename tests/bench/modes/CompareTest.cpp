// mapbench compare over reports it must refuse or read with care.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "bench/model/WorkloadFields.h"
#include "bench/modes/Compare.h"
#include "tests/support/Mapbench.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

// A report row of btree with four repetition times and their median.
Json row(const std::string& map, std::vector<double> times) {
  Json item = {
      {"map", map}, {"k", 16}, {"k_star", 16}, {"key_space", 20000}, {"distribution", "uniform"}};
  item["repetition_seconds"] = times;
  item["median_seconds"] = median(times);
  return item;
}

std::string writeReport(const std::string& name, const std::vector<Json>& rows) {
  const std::string path = test::tempPath(name);
  std::ofstream(path) << Json{{"context", Json::object()}, {"results", Json(rows)}}.dump();
  return path;
}

test::ProcessResult compare(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"compare"};
  all.insert(all.end(), args.begin(), args.end());
  return test::runProgram(MAPBENCH_EXECUTABLE, all);
}

TEST(CompareTest, WhatIsNoReportIsRefusedWithOneLineNamingTheRow) {
  const std::string good = writeReport("compare_good.json", {row("btree", {1, 1.1, 1.2, 1.3})});
  const std::string bad = test::tempPath("compare_bad.json");
  auto withRow = [](Json changed) {
    return Json{{"context", Json::object()}, {"results", Json::array({changed})}};
  };
  Json negative = row("btree", {1, 1.1, 1.2, 1.3}), zero = negative, text = negative,
       huge = negative, badTime = negative, notTheMedian = negative, badFigure = negative;
  negative["median_seconds"] = -340.8;
  negative["repetition_seconds"] = {-340.8};
  zero["repetition_seconds"] = {0.0};
  zero["median_seconds"] = 0.0;
  text["median_seconds"] = "fast";
  badTime["repetition_seconds"] = {1.0, -1.0, 1.2};
  notTheMedian["median_seconds"] = 0.5;
  badFigure["bytes_per_entry"] = -5;
  Json badName = negative;
  badName["map"] = "two\nlines\x1b[31m";
  struct Case {
    const char* what;
    std::string text, refusal;
  };
  const std::vector<Case> cases = {
      {"deep arrays",
       "{\"context\": {\"host\": " + std::string(200000, '[') + std::string(200000, ']') +
           "}, \"results\": []}",
       "nested deeper than 64 levels"},
      {"deep objects",
       [] {
         std::string nested;
         for (int i = 0; i < 200000; ++i)
           nested += "{\"a\":";
         return nested + "1" + std::string(200000, '}');
       }(),
       "nested deeper than 64 levels"},
      {"negative median", withRow(negative).dump(),
       "row 1 (btree k=16 k*=16 keyspace=20000 keys=uniform) has median_seconds -340.8"},
      {"a name that would break the line", withRow(badName).dump(),
       "row 1 (two\\x0alines\\x1b[31m k=16"},
      {"zero time", withRow(zero).dump(), "has median_seconds 0.0, not a time above 0"},
      {"text time", withRow(text).dump(), "has median_seconds of type string"},
      {"a time beyond any double", R"({"results": [{"map": "btree", "median_seconds": 1e400}]})",
       "not valid JSON"},
      {"one bad repetition", withRow(badTime).dump(), "has repetition_seconds -1.0"},
      {"median of other times", withRow(notTheMedian).dump(),
       "not the median of its repetition_seconds"},
      {"negative figure", withRow(badFigure).dump(), "has bytes_per_entry -5, not a finite number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(bad) << c.text;
    for (const auto& args :
         {std::vector<std::string>{good, bad}, std::vector<std::string>{bad, good}}) {
      const test::ProcessResult result = compare(args);
      EXPECT_EQ(result.exitStatus, 2) << result.err;
      EXPECT_THAT(result.err, ::testing::HasSubstr(c.refusal));
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
  }
  const test::ProcessResult folder = compare({good, test::tempPath()});
  EXPECT_EQ(folder.exitStatus, 2);
  EXPECT_THAT(folder.err, ::testing::HasSubstr("is a folder, not a JSON report"));
  EXPECT_EQ(std::count(folder.err.begin(), folder.err.end(), '\n'), 1) << folder.err;
  std::remove(good.c_str());
  std::remove(bad.c_str());
}

TEST(CompareTest, RatioAndVerdictComeFromTheTimesAndNoMatchedRowFailsTheGate) {
  ResultSet base, fresh;
  base.rows = {row("btree", {1.0, 1.1, 1.2, 1.3})};
  fresh.rows = {row("btree", {2.0, 2.2, 2.4, 2.6})};
  fresh.rows[0]["median_seconds"] = 0.1;  // a median the times do not have is not the ratio
  const Comparison comparison = compareResults(base, fresh, 0.05);
  ASSERT_EQ(comparison.rows.size(), 1u);
  EXPECT_EQ(comparison.rows[0].verdict, Verdict::kSlower);
  EXPECT_DOUBLE_EQ(*comparison.rows[0].ratio, 2.0);

  // Rows that match nothing: no gate passes over them.
  const std::string btree = writeReport("compare_btree.json", {row("btree", {1, 1.1, 1.2, 1.3})});
  const std::string stdmap =
      writeReport("compare_stdmap.json", {row("stdmap", {1, 1.1, 1.2, 1.3})});
  EXPECT_EQ(compare({btree, stdmap}).exitStatus, 0);
  const test::ProcessResult gated = compare({btree, stdmap, "--fail-above", "1.5"});
  EXPECT_EQ(gated.exitStatus, 1);
  EXPECT_THAT(gated.err, ::testing::HasSubstr("nothing to judge"));

  // A ratio of 10^290 takes a few characters, not hundreds of digits.
  const std::string tiny =
      writeReport("compare_tiny.json", {row("btree", {1e-290, 1e-290, 1e-290, 1e-290})});
  const test::ProcessResult huge = compare({tiny, btree});
  EXPECT_EQ(huge.exitStatus, 0) << huge.err;
  EXPECT_THAT(huge.out, ::testing::HasSubstr("1.15e+290"));
  EXPECT_THAT(huge.out, ::testing::Not(::testing::HasSubstr("000000000000")));
  for (const std::string& path : {btree, stdmap, tiny})
    std::remove(path.c_str());
}

TEST(CompareTest, APartlyOverlappingDifferenceReadsSlowerOneWayAndFasterTheOther) {
  std::vector<double> low, high;
  for (int i = 1; i <= 10; ++i) {
    low.push_back(i);
    high.push_back(i + 4.5);  // half of each side overlaps the other
  }
  ResultSet base, fresh;
  base.rows = {row("btree", low)};
  fresh.rows = {row("btree", high)};
  const Comparison slower = compareResults(base, fresh, 0.05);
  ASSERT_EQ(slower.rows.size(), 1u);
  EXPECT_LT(slower.rows[0].test.p, 0.05);
  EXPECT_EQ(slower.rows[0].verdict, Verdict::kSlower);
  EXPECT_EQ(compareResults(fresh, base, 0.05).rows[0].verdict, Verdict::kFaster);
}

TEST(CompareTest, ALatencyWithoutSamplesOrWithABaseOfZeroHasNoRatio) {
  auto withLatencies = [](double insert, double erase, int64_t eraseSamples) {
    Json item = row("btree", {1, 1.1, 1.2, 1.3});
    item["latency_ns"] = {{"insert", {{"p50", insert}, {"samples", 5}}},
                          {"erase", {{"p50", erase}, {"samples", eraseSamples}}},
                          {"point", {{"p50", 20.0}, {"samples", 5}}}};
    return item;
  };
  ResultSet base, fresh;
  base.rows = {withLatencies(0.0, 30.0, 5)};
  fresh.rows = {withLatencies(40.0, 0.0, 0)};  // no erase sampled, as older reports wrote it
  const Json rows = comparisonJson(compareResults(base, fresh, 0.05), base, fresh)["rows"];
  ASSERT_EQ(rows.size(), 1u);
  const Json& latency = rows[0]["latency_ns"];
  EXPECT_TRUE(latency["insert"]["p50"]["ratio"].is_null()) << latency;
  EXPECT_TRUE(latency["erase"]["p50"]["ratio"].is_null()) << latency;
  EXPECT_EQ(latency["point"]["p50"]["ratio"], 1.0);
}

TEST(CompareTest, ARowRepeatedInOneFileIsComparedOnceAndNamedInAWarning) {
  ResultSet once, twice;
  once.rows = {row("btree", {1, 1.1, 1.2, 1.3})};
  twice.rows = {once.rows[0], once.rows[0]};
  for (const auto& [base, fresh, side] :
       {std::tuple{&once, &twice, "new"}, std::tuple{&twice, &once, "base"}}) {
    SCOPED_TRACE(side);
    const Comparison comparison = compareResults(*base, *fresh, 0.05);
    EXPECT_EQ(comparison.rows.size(), 1u);
    EXPECT_THAT(comparison.onlyInBase, ::testing::IsEmpty());
    EXPECT_THAT(comparison.onlyInNew, ::testing::IsEmpty());
    EXPECT_THAT(comparison.warnings,
                ::testing::ElementsAre("the " + std::string(side) +
                                       " file repeats rows of btree k=16 k*=16 keyspace=20000 "
                                       "keys=uniform: the repeats without a partner are not "
                                       "compared"));
  }
  // Repeated on both sides, each meets its own partner.
  EXPECT_EQ(compareResults(twice, twice, 0.05).rows.size(), 2u);
}

TEST(CompareTest, QuotesAndBracketsInsideStringsAreNoNesting) {
  const std::string brackets = std::string(100, '[') + std::string(100, '{');
  const std::string path = test::tempPath("compare_strings.json");
  std::ofstream(path) << Json{{"context", {{"host", "a\"" + brackets}, {"cpu", "\\"}}},
                              {"results", Json::array({row("btree", {1, 1.1, 1.2, 1.3})})}}
                             .dump();
  ResultSet results;
  EXPECT_EQ(readResults(path, results), std::nullopt);
  EXPECT_EQ(results.context["host"], "a\"" + brackets);
}

TEST(CompareTest, FailAboveFailsOverRowsItCannotJudge) {
  ResultSet base, fresh;
  base.rows = {row("btree", {1, 1.1, 1.2}), row("stdmap", {1, 1.1, 1.2, 1.3})};
  fresh.rows = {row("btree", {1, 1.1, 1.2}), row("stdmap", {1, 1.1, 1.2, 1.3})};
  fresh.rows[1].erase("repetition_seconds");
  const Comparison comparison = compareResults(base, fresh, 0.05);
  std::ostringstream out, err;
  EXPECT_EQ(reportComparison(comparison, base, fresh, "", std::nullopt, out, err), 0);
  EXPECT_EQ(reportComparison(comparison, base, fresh, "", 1.5, out, err), 1);
  EXPECT_EQ(err.str(),
            "mapbench: --fail-above cannot judge 2 of 2 rows: too few repetitions for a test at "
            "alpha 0.05 (at least 4 a side) in btree k=16 k*=16 keyspace=20000 keys=uniform; no "
            "times in stdmap k=16 k*=16 keyspace=20000 keys=uniform\n");
}

TEST(CompareTest, LatenciesTakenDifferentlyAreNamedInAWarning) {
  ResultSet base, fresh;
  base.rows = {row("btree", {1, 1.1, 1.2, 1.3})};
  fresh.rows = base.rows;
  base.rows[0]["sample_every"] = 64;
  fresh.rows[0]["sample_every"] = 1;
  fresh.rows[0]["clock_cost_ns"] = 25;
  EXPECT_THAT(compareResults(base, fresh, 0.05).warnings,
              ::testing::ElementsAre(
                  "the latencies differ: the base file's include the clock's cost of a reading "
                  "(no clock_cost_ns), the new file's are net of it",
                  "the workloads differ: sample_every 64 vs 1"));
}

// Rows match on the trees' split rule; a report from before the rule was named holds trees that
// split in the middle, and its rows meet the positional ones.
TEST(CompareTest, RowsMatchOnTheSplitRuleAndOlderReportsReadAsPositional) {
  const std::vector<double> times = {1.0, 1.1, 1.2, 1.3};
  Json positional = row("btree", times);
  positional["split"] = "positional";
  Json sequential = row("btree", times);
  sequential["split"] = "sequential";
  Json peer = row("abslbtree", times);
  peer.erase("k");
  peer.erase("k_star");
  const std::string older = writeReport("compare_older.json", {row("btree", times), peer});
  const std::string named = writeReport("compare_named.json", {positional, peer});
  const std::string fresh = writeReport("compare_fresh.json", {sequential, peer});
  ResultSet olderSet, namedSet, freshSet;
  ASSERT_EQ(readResults(older, olderSet), std::nullopt);
  ASSERT_EQ(readResults(named, namedSet), std::nullopt);
  ASSERT_EQ(readResults(fresh, freshSet), std::nullopt);
  EXPECT_EQ(olderSet.rows[0]["split"], "positional");
  EXPECT_FALSE(olderSet.rows[1].contains("split"));  // a map without tree parameters
  EXPECT_EQ(compareResults(olderSet, namedSet, 0.05).rows.size(), 2u);
  const Comparison across = compareResults(olderSet, freshSet, 0.05);
  EXPECT_EQ(across.rows.size(), 1u);  // abslbtree only
  EXPECT_EQ(across.onlyInNew.size(), 1u);
  for (const std::string& path : {older, named, fresh})
    std::remove(path.c_str());
}

// `item` with the ratio and range-length columns of `preset`, and its workload column unless
// it stands for a report from before the column.
Json withMix(Json item, const std::string& preset, bool named) {
  const WorkloadPreset& values = *findPreset(preset);
  item["query_ratio"] = values.mix.queryRatio;
  item["range_ratio"] = values.mix.rangeQueryRatio;
  item["delete_ratio"] = values.mix.deleteRatio;
  item["range_length"] = values.maxRangeSize;
  if (named)
    item["workload"] = preset;
  return item;
}

// An older report reads its rows' presets from their ratios, so each meets its own preset's
// row in a newer one; rows of two presets never meet, not even as two files of one cell each.
TEST(CompareTest, RowsMeetOnlyTheirOwnPresetAndOlderReportsReadItFromTheirRatios) {
  const std::vector<double> times = {1.0, 1.1, 1.2, 1.3};
  const std::string older =
      writeReport("compare_older_mix.json", {withMix(row("btree", times), "read-only", false),
                                             withMix(row("btree", times), "scan-heavy", false)});
  const std::string newer =
      writeReport("compare_newer_mix.json", {withMix(row("btree", times), "scan-heavy", true),
                                             withMix(row("btree", times), "read-only", true)});
  ResultSet olderSet, newerSet;
  ASSERT_EQ(readResults(older, olderSet), std::nullopt);
  ASSERT_EQ(readResults(newer, newerSet), std::nullopt);
  EXPECT_EQ(olderSet.rows[1]["workload"], "scan-heavy");
  const Comparison across = compareResults(olderSet, newerSet, 0.05);
  ASSERT_EQ(across.rows.size(), 2u);
  for (const RowComparison& matched : across.rows)
    EXPECT_EQ(matched.base.at("range_ratio"), matched.fresh.at("range_ratio"));
  EXPECT_THAT(across.warnings, ::testing::IsEmpty());

  ResultSet readOnly, scanHeavy;
  readOnly.rows = {withMix(row("btree", times), "read-only", true)};
  scanHeavy.rows = {withMix(row("btree", times), "scan-heavy", true)};
  const Comparison apart = compareResults(readOnly, scanHeavy, 0.05);
  EXPECT_THAT(apart.rows, ::testing::IsEmpty());
  EXPECT_EQ(apart.onlyInBase.size(), 1u);
  EXPECT_EQ(apart.onlyInNew.size(), 1u);
  // A custom mix meets only a custom one.
  ResultSet custom = readOnly;
  custom.rows[0]["workload"] = "custom";
  custom.rows[0]["query_ratio"] = 0.9;
  EXPECT_THAT(compareResults(readOnly, custom, 0.05).rows, ::testing::IsEmpty());
  for (const std::string& path : {older, newer})
    std::remove(path.c_str());
}

using test::ProgramResult;
using test::runMapbench;

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

void writeDocument(const std::string& path, const Json& document) {
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
  const std::string report = tinyReport("mapbench_base.json");
  ASSERT_EQ(readResults(report, base), std::nullopt);
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
  writeDocument(report, {{"context", base.context}, {"results", base.rows}});
  writeDocument(newer, {{"context", slower.context}, {"results", slower.rows}});
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

}  // namespace
}  // namespace bench
