#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/model/Columns.h"
#include "bench/modes/Sweep.h"
#include "bench/options/Options.h"
#include "bench/output/Report.h"

namespace bench {
namespace {

// A btree measurement of 1000 entries in 16000 bytes, one repetition per time, each against
// a baseline of one second.
Measurement measurementOf(std::initializer_list<int64_t> nanos) {
  Measurement measurement{"btree", true, {}, WorkloadConfig{}, {}, {}};
  for (int64_t time : nanos) {
    RunResult run, baseline;
    run.measuredNanos = time;
    baseline.measuredNanos = 1'000'000'000;
    run.reportedSize = run.expectedSize = 1000;
    run.allocatedBytes = 16000;
    measurement.runs.push_back(run);
    measurement.baselines.push_back(baseline);
  }
  return measurement;
}

TEST(SummaryTest, TimesAreEachRepetitionMinusItsBaseline) {
  const Row row = summarize(measurementOf({5'000'000'000, 3'000'000'000, 4'000'000'000}));
  EXPECT_EQ(row.repetitions, 3);
  EXPECT_DOUBLE_EQ(row.medianSeconds, 3.0);
  EXPECT_DOUBLE_EQ(row.minSeconds, 2.0);
  EXPECT_DOUBLE_EQ(row.maxSeconds, 4.0);
  EXPECT_DOUBLE_EQ(row.nanosPerOperation, 300.0);  // 3 s over 10M operations
  EXPECT_DOUBLE_EQ(row.bytesPerEntry, 16.0);
}

TEST(SummaryTest, FooterNamesTheClockCostOnlyWhereOperationsWereSampled) {
  Measurement measurement = measurementOf({3'000'000'000, 4'000'000'000, 5'000'000'000});
  const int64_t costs[] = {31, 27, 29};
  for (size_t i = 0; i < measurement.runs.size(); ++i)
    measurement.runs[i].clockCostNanos = costs[i];
  Row median = summarize(measurement);
  EXPECT_EQ(median.clockCostNanos, 29);  // the median of the repetitions
  Row least = median;
  least.clockCostNanos = 27;
  auto footerOf = [](const std::vector<Row>& rows) {
    std::ostringstream table;
    printTable(table, Context{}, rows);
    return table.str();
  };
  EXPECT_THAT(footerOf({median, least}), ::testing::HasSubstr("latencies in ns from sampled "
                                                              "operations.\n"));
  median.latency[kPointQuery].samples = 1;
  EXPECT_THAT(footerOf({median, least}),
              ::testing::HasSubstr("less the clock's own cost of 27-29 ns a timing."));
  EXPECT_THAT(footerOf({median}), ::testing::HasSubstr("cost of 29 ns a timing."));
}

TEST(SummaryTest, ResidentDifferencesBelowTheResolutionAreShownAsUnknown) {
  constexpr int64_t kBaseline = int64_t{64} << 20;
  for (const auto& [difference, shown] :
       {std::pair<int64_t, std::string>{-(int64_t{63} << 10), "-"},
        {kResidentResolutionBytes - 4096, "-"},
        {4 * kResidentResolutionBytes, "1048.6"}}) {  // 1 MiB over 1000 entries
    Measurement measurement{"stdmap", false, {}, WorkloadConfig{}, {}, {}};
    RunResult run, baseline;
    run.reportedSize = run.expectedSize = 1000;
    run.peakResidentBytes = kBaseline + difference;
    baseline.peakResidentBytes = kBaseline;
    measurement.runs = {run};
    measurement.baselines = {baseline};
    const Row row = summarize(measurement);

    std::ostringstream table, json;
    printTable(table, Context{}, {row});
    std::istringstream lines(table.str());
    std::string header, data;
    std::getline(lines, header);
    std::getline(lines, data);
    // The column is right-aligned under its header: its value is the last word before the
    // header's end.
    const size_t end = header.find("RSS B/e");
    ASSERT_NE(end, std::string::npos) << header;
    std::istringstream fields(data.substr(0, end + std::string("RSS B/e").size()));
    std::string last;
    for (std::string field; fields >> field;)
      last = field;
    EXPECT_EQ(last, shown) << difference;
    writeJson(json, Context{}, {row});
    EXPECT_EQ(nlohmann::json::parse(json.str())["results"][0]["rss_bytes_per_entry"].is_null(),
              shown == "-")
        << difference;
  }
}

TEST(SummaryTest, MedianOfAnEvenCountIsTheMeanOfTheMiddleTwo) {
  const Row row =
      summarize(measurementOf({5'000'000'000, 2'000'000'000, 4'000'000'000, 3'000'000'000}));
  EXPECT_DOUBLE_EQ(row.medianSeconds, 2.5);
}

// The cell of `line` under the right-aligned column headed `label` in `header`.
std::string cellUnder(const std::string& header, const std::string& line,
                      const std::string& label) {
  const size_t column = header.find(label);
  if (column == std::string::npos)
    return "no column " + label;
  const size_t end = column + label.size();
  const size_t start = line.rfind(' ', end - 1) + 1;
  return line.substr(start, end - start);
}

// The fields of a CSV line as RFC 4180 reads them.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> result(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (quoted && line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"')
      result.back() += line[++i];
    else if (line[i] == '"')
      quoted = !quoted;
    else if (line[i] == ',' && !quoted)
      result.emplace_back();
    else
      result.back() += line[i];
  }
  return result;
}

// The CSV's header and data lines as maps of column name to field.
std::vector<std::map<std::string, std::string>> csvRows(const std::string& csv) {
  std::istringstream lines(csv);
  std::string header, line;
  while (std::getline(lines, header) && header.rfind("map,", 0) != 0) {
  }
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(lines, line)) {
    const std::vector<std::string> names = fields(header), values = fields(line);
    EXPECT_EQ(values.size(), names.size()) << line;
    std::map<std::string, std::string>& row = rows.emplace_back();
    for (size_t i = 0; i < names.size() && i < values.size(); ++i)
      row[names[i]] = values[i];
  }
  return rows;
}

TEST(ReportTest, ATypeWithoutSamplesHasNoPercentilesAndAZeroMedianIsStillANumber) {
  Measurement measurement = measurementOf({2'000'000'000});
  measurement.runs[0].latency[kInsert] = {3, 0, 7};  // a clock too coarse for most inserts
  measurement.runs[0].latency[kPointQuery] = {5, 40, 90};
  const std::vector<Row> rows = {summarize(measurement)};

  std::ostringstream table;
  printTable(table, Context{}, rows);
  std::istringstream tableLines(table.str());
  std::string header, line;
  std::getline(tableLines, header);
  std::getline(tableLines, line);
  EXPECT_EQ(cellUnder(header, line, "insert p50/p99"), "0/7") << table.str();
  EXPECT_EQ(cellUnder(header, line, "erase p50/p99"), "-") << table.str();
  EXPECT_EQ(cellUnder(header, line, "point p50/p99"), "40/90") << table.str();

  std::ostringstream csv;
  writeCsv(csv, Context{}, rows);
  std::vector<std::map<std::string, std::string>> csvLines = csvRows(csv.str());
  ASSERT_EQ(csvLines.size(), 1u) << csv.str();
  std::map<std::string, std::string>& row = csvLines[0];
  EXPECT_EQ(row["insert_p50_ns"], "0");
  EXPECT_EQ(row["insert_p99_ns"], "7");
  EXPECT_EQ(row["erase_p50_ns"], "");
  EXPECT_EQ(row["erase_p99_ns"], "");
  EXPECT_EQ(row["point_p99_ns"], "90");
  EXPECT_EQ(row["range_p50_ns"], "");

  std::ostringstream json;
  writeJson(json, Context{}, rows);
  const Json latency = Json::parse(json.str())["results"][0]["latency_ns"];
  EXPECT_EQ(latency["insert"]["p50"], 0.0);
  EXPECT_TRUE(latency["erase"]["p50"].is_null()) << latency;
  EXPECT_TRUE(latency["erase"]["p99"].is_null()) << latency;
}

TEST(ReportTest, ARunTooShortToTimeShowsNoTimesAndTextFieldsAreQuoted) {
  // One repetition no longer than its baseline, one shorter: no time can be told.
  for (const int64_t shortest : {int64_t{1'000'000'000}, int64_t{999'999'999}}) {
    Measurement measurement = measurementOf({2'000'000'000, shortest});
    test::KeyFile keys;
    keys.name = "a,b\"c_uint32";
    keys.keys = {1, 2, 3};
    measurement.config.keySet = std::make_shared<test::KeyFile>(std::move(keys));
    const std::vector<Row> rows = {summarize(measurement),
                                   summarize(measurementOf({2'000'000'000}))};
    EXPECT_TRUE(rows[0].tooShortToTime);
    EXPECT_FALSE(rows[1].tooShortToTime);

    std::ostringstream table, json, csv;
    printTable(table, Context{}, rows);
    EXPECT_THAT(table.str(), ::testing::HasSubstr("too short to time\n"));
    EXPECT_THAT(table.str(), ::testing::Not(::testing::ContainsRegex("-[0-9]")));
    writeJson(json, Context{}, rows);
    const nlohmann::json results = nlohmann::json::parse(json.str())["results"];
    for (const char* time : {"median_seconds", "min_seconds", "max_seconds", "repetition_seconds",
                             "ns_per_operation", "mops_per_second"}) {
      EXPECT_TRUE(results[0][time].is_null()) << time;
      EXPECT_TRUE(results[1][time].is_number() || results[1][time].is_array()) << time;
    }
    writeCsv(csv, Context{}, rows);
    const std::vector<std::map<std::string, std::string>> lines = csvRows(csv.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].at("key_set"), "a,b\"c_uint32");
    EXPECT_EQ(lines[0].at("median_s"), "");
    EXPECT_EQ(lines[1].at("median_s"), "1.0");
  }
  EXPECT_EQ(csvField("btree"), "btree");
  EXPECT_EQ(csvField("a,b\"c"), "\"a,b\"\"c\"");
  EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
}

}  // namespace
}  // namespace bench
