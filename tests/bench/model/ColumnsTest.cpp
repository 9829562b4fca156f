#include "bench/model/Columns.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

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
