#include "bench/model/Columns.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "bench/model/WorkloadFields.h"

namespace bench {
namespace {

TEST(ColumnsTest, EveryJsonMemberAndCsvHeaderIsNamedOnce) {
  std::set<std::string> json, csv;
  for (const Column& column : rowColumns()) {
    if (!column.json.empty()) {
      EXPECT_TRUE(json.insert(column.json).second) << column.json;
    }
    if (!column.csv.empty()) {
      EXPECT_TRUE(csv.insert(column.csv).second) << column.csv;
    }
  }
  for (const char* name : {"map", "k", "k_star", "key_space", "distribution", "key_hash"})
    EXPECT_EQ(csv.count(name), 1u) << name;
}

const Column& columnNamed(const std::string& json) {
  for (const Column& column : rowColumns()) {
    if (column.json == json)
      return column;
  }
  ADD_FAILURE() << "no column " << json;
  return rowColumns().front();
}

// The workload column names the preset whose ratios and range length a row ran exactly, else
// "custom"; a report from before the column reads the same from its ratio columns.
TEST(ColumnsTest, TheWorkloadColumnNamesThePresetOfTheMixOrCustom) {
  const Column& workload = columnNamed("workload");
  EXPECT_EQ(workload.csv, "workload");
  EXPECT_EQ(workload.table, "workload");
  EXPECT_TRUE(workload.left);
  EXPECT_GE(workload.width, static_cast<int>(std::string("read-mostly").size()));
  Row row;  // the default configuration
  EXPECT_EQ(workload.value(row), Value(std::string("default")));
  for (const WorkloadPreset& preset : workloadPresets()) {
    row.config.measuredMix = preset.mix;
    row.config.maxRangeSize = preset.maxRangeSize;
    EXPECT_EQ(workload.value(row), Value(std::string(preset.name)));
    Json old = {{"query_ratio", preset.mix.queryRatio},
                {"range_ratio", preset.mix.rangeQueryRatio},
                {"delete_ratio", preset.mix.deleteRatio},
                {"range_length", preset.maxRangeSize}};
    EXPECT_EQ(workload.whenMissing(old), Json(preset.name));
  }
  // scan-heavy with another range length, or another ratio, is no preset.
  row.config.measuredMix = findPreset("scan-heavy")->mix;
  row.config.maxRangeSize = 99;
  EXPECT_EQ(workload.value(row), Value(std::string("custom")));
  row.config.maxRangeSize = 100;
  row.config.measuredMix.deleteRatio = 0.5;
  EXPECT_EQ(workload.value(row), Value(std::string("custom")));
  EXPECT_EQ(workload.whenMissing({{"query_ratio", 0.95},
                                  {"range_ratio", 1.0},
                                  {"delete_ratio", 0.0},
                                  {"range_length", 100.5}}),
            Json("custom"));
  // Without its ratios a row cannot say; the column stays absent.
  EXPECT_EQ(workload.whenMissing({{"query_ratio", 1.0}, {"range_ratio", 0.0}}), std::nullopt);
}

TEST(ColumnsTest, NestedPathsReachTheirMemberAtEveryDepth) {
  Json item = Json::object();
  setAt(item, "latency_ns/insert/p50", 7);
  setAt(item, "latency_ns/erase/p50", 8);
  EXPECT_EQ(item, Json::parse(R"({"latency_ns": {"insert": {"p50": 7}, "erase": {"p50": 8}}})"));
  EXPECT_EQ(numberAt(item, "latency_ns/erase/p50"), 8.0);
  EXPECT_EQ(findAt(item, "latency_ns/insert"), &item["latency_ns"]["insert"]);
  EXPECT_EQ(findAt(item, "latency_ns/insert/p5"), nullptr);
  EXPECT_EQ(findAt(item, "latency_ns/insert/p50/deeper"), nullptr);
}

}  // namespace
}  // namespace bench
