// mapbench compare over reports it must refuse or read with care.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/Compare.h"
#include "tests/support/Subprocess.h"

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
  const std::string path = ::testing::TempDir() + name;
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
  const std::string bad = ::testing::TempDir() + "compare_bad.json";
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
  const test::ProcessResult folder = compare({good, ::testing::TempDir()});
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
  std::string error;
  ASSERT_TRUE(readResults(older, olderSet, error)) << error;
  ASSERT_TRUE(readResults(named, namedSet, error)) << error;
  ASSERT_TRUE(readResults(fresh, freshSet, error)) << error;
  EXPECT_EQ(olderSet.rows[0]["split"], "positional");
  EXPECT_FALSE(olderSet.rows[1].contains("split"));  // a map without tree parameters
  EXPECT_EQ(compareResults(olderSet, namedSet, 0.05).rows.size(), 2u);
  const Comparison across = compareResults(olderSet, freshSet, 0.05);
  EXPECT_EQ(across.rows.size(), 1u);  // abslbtree only
  EXPECT_EQ(across.onlyInNew.size(), 1u);
  for (const std::string& path : {older, named, fresh})
    std::remove(path.c_str());
}

}  // namespace
}  // namespace bench
