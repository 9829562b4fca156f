#include "bench/Report.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/BuildInfo.h"
#include "bench/Columns.h"
#include "bench/Counting.h"
#include "bench/HugePages.h"
#include "bench/KeySetOption.h"
#include "bench/Statistics.h"
#include "util/NumberFormat.h"

#ifndef MAPBENCH_BUILD_TYPE
#define MAPBENCH_BUILD_TYPE "unknown"
#endif
#ifndef MAPBENCH_CXX_FLAGS
#define MAPBENCH_CXX_FLAGS "unknown"
#endif

namespace bench {

namespace {

std::string firstCpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos)
        return line.substr(colon + 2);
    }
  }
  return "unknown";
}

}  // namespace

Row summarize(const Measurement& measurement) {
  Row row;
  row.map = measurement.map;
  row.usesTreeParameters = measurement.usesTreeParameters;
  row.parameters = measurement.parameters;
  row.config = measurement.config;
  row.repetitions = static_cast<int>(measurement.runs.size());
  if (measurement.runs.empty())
    return row;

  std::vector<double> seconds, bytes, residentDifferences, hugeBytes, clockCosts;
  std::vector<double> p50[kOperationTypes], p99[kOperationTypes];
  for (size_t i = 0; i < measurement.runs.size(); ++i) {
    const RunResult& run = measurement.runs[i];
    const RunResult& baseline = measurement.baselines[i];
    seconds.push_back(static_cast<double>(run.measuredNanos - baseline.measuredNanos) / 1e9);
    const double entries = static_cast<double>(std::max<int64_t>(run.reportedSize, 1));
    if (run.allocatedBytes >= 0)
      bytes.push_back(static_cast<double>(run.allocatedBytes) / entries);
    residentDifferences.push_back(
        static_cast<double>(run.peakResidentBytes - baseline.peakResidentBytes));
    hugeBytes.push_back(static_cast<double>(run.hugePageBytes));
    clockCosts.push_back(static_cast<double>(run.clockCostNanos));
    for (int type = 0; type < kOperationTypes; ++type) {
      p50[type].push_back(run.latency[type].p50Nanos);
      p99[type].push_back(run.latency[type].p99Nanos);
    }
  }
  const RunResult& first = measurement.runs.front();
  row.tooShortToTime = std::any_of(seconds.begin(), seconds.end(), [](double s) { return s <= 0; });
  if (row.tooShortToTime)
    seconds.assign(seconds.size(), 0);
  row.repetitionSeconds = seconds;
  row.medianSeconds = median(seconds);
  row.minSeconds = *std::min_element(seconds.begin(), seconds.end());
  row.maxSeconds = *std::max_element(seconds.begin(), seconds.end());
  const double operations = static_cast<double>(measurement.config.measuredOperations);
  row.nanosPerOperation = operations > 0 ? row.medianSeconds * 1e9 / operations : 0;
  row.millionOperationsPerSecond = row.medianSeconds > 0 ? operations / row.medianSeconds / 1e6 : 0;
  row.bytesPerEntry = bytes.empty() ? -1 : median(bytes);
  const double residentDifference = median(residentDifferences);
  row.residentBytesPerEntry =
      residentDifference < kResidentResolutionBytes
          ? -1
          : residentDifference / static_cast<double>(std::max<int64_t>(first.reportedSize, 1));
  row.hugePageBytes = static_cast<int64_t>(median(hugeBytes));
  row.clockCostNanos = static_cast<int64_t>(median(clockCosts));
  for (int type = 0; type < kOperationTypes; ++type) {
    row.latency[type].samples = first.latency[type].samples;
    row.latency[type].p50Nanos = median(p50[type]);
    row.latency[type].p99Nanos = median(p99[type]);
    row.operations[type] = first.operations[type];
  }
  row.expectedSize = first.expectedSize;
  row.reportedSize = first.reportedSize;
  summarizeCounts(measurement, row);
  return row;
}

Context Context::collect() {
  Context context;
  context.compiler = compilerDescription();
  context.buildType = MAPBENCH_BUILD_TYPE;
  context.flags = MAPBENCH_CXX_FLAGS;
  context.commit = buildCommit();
  context.cpu = firstCpuModel();
  context.cores = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
  utsname names{};
  if (::uname(&names) == 0) {
    context.host = names.nodename;
    context.kernel = std::string(names.sysname) + " " + names.release + " " + names.machine;
  }
  const std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  context.date = date;
  context.hugePages = hugePagesRequested();
  return context;
}

namespace {

// A report is a count report when its rows were counted (mapbench --count), not timed.
bool countedRows(const std::vector<Row>& rows) {
  return !rows.empty() && rows.front().counted;
}

// What the footer says of the latencies: net of the clock's cost, "27" or "27-31" ns when
// the runs measured different costs; nothing more where no operation was sampled.
std::string latencyText(const std::vector<Row>& rows) {
  const bool sampled = std::any_of(rows.begin(), rows.end(), [](const Row& row) {
    return std::any_of(std::begin(row.latency), std::end(row.latency),
                       [](const LatencySummary& latency) { return latency.samples > 0; });
  });
  if (!sampled)
    return "latencies in ns from sampled operations.";
  const auto [least, most] = std::minmax_element(
      rows.begin(), rows.end(),
      [](const Row& a, const Row& b) { return a.clockCostNanos < b.clockCostNanos; });
  std::string cost = std::to_string(least->clockCostNanos);
  if (most->clockCostNanos != least->clockCostNanos)
    cost += "-" + std::to_string(most->clockCostNanos);
  return "latencies in ns from sampled operations, less the clock's own cost of " + cost +
         " ns a timing.";
}

}  // namespace

void printTable(std::ostream& out, const Context& context, const std::vector<Row>& rows) {
  auto cell = [&out](const Column& column) -> std::ostream& {
    return out << (column.left ? std::left : std::right) << std::setw(column.width);
  };
  const bool counted = countedRows(rows);
  auto shown = [counted](const Column& column) {
    return !column.table.empty() && inReport(column, counted);
  };
  for (const Column& column : rowColumns()) {
    if (shown(column))
      cell(column) << column.table;
  }
  out << std::right << "\n";
  for (const Row& row : rows) {
    for (const Column& column : rowColumns()) {
      if (shown(column))
        cell(column) << tableText(column, isPresent(column, row) ? column.value(row) : Value());
    }
    out << std::right;
    if (row.reportedSize != row.expectedSize && row.map != "dummy") {
      out << "  SIZE " << row.reportedSize << " != " << row.expectedSize;
    }
    if (row.tooShortToTime)
      out << "  too short to time";
    out << "\n";
  }
  if (std::any_of(rows.begin(), rows.end(), [](const Row& row) { return row.tooShortToTime; })) {
    out << "Too short to time: a repetition's run was not longer than the no-op map's, below "
           "what the clock resolves; more --ops give it a time.\n";
  }
  if (counted)
    printCountFooter(out);
  else
    out << "Times are the map's measured run minus the no-op map's; " << latencyText(rows)
        << "\nB/entry: bytes the map has allocated at the end, exact; RSS B/e: peak "
           "resident size over the no-op map's (\"-\" below "
        << kResidentResolutionBytes / 1024
        << " KiB, which it cannot resolve).\n"
           "THP MiB: the run's memory in transparent huge pages at its end. Huge pages: "
        << (context.hugePages ? std::string("on for every map (") + kHugePagesTunable + ")"
                              : std::string("not requested"))
        << ".\n";
  if (!rows.empty() && rows.front().config.keySet) {
    out << "Keys: " << keySetText(rows.front().config)
        << "; key space = keys - 1, slot i is the i-th smallest key.\n";
  }
}

namespace {

// A field without a value (the simulated caches of a timed report) is left out.
Json contextJson(const Context& context) {
  Json json = Json::object();
  for (const ContextField& field : contextFields()) {
    const Value value = field.value(context);
    if (!std::holds_alternative<std::monostate>(value))
      json[field.json] = toJson(value);
  }
  return json;
}

Json rowJson(const Row& row) {
  Json item = Json::object();
  for (const Column& column : rowColumns()) {
    if (column.json.empty() || !inReport(column, row.counted))
      continue;
    if (isPresent(column, row) || column.jsonWhenAbsent == JsonWhenAbsent::kValue)
      setAt(item, column.json, toJson(column.value(row)));
    else if (column.jsonWhenAbsent == JsonWhenAbsent::kNull)
      setAt(item, column.json, nullptr);
  }
  return item;
}

}  // namespace

void writeJson(std::ostream& out, const Context& context, const std::vector<Row>& rows) {
  Json document;
  document["context"] = contextJson(context);
  Json results = Json::array();
  for (const Row& row : rows)
    results.push_back(rowJson(row));
  document["results"] = std::move(results);
  out << document.dump(2) << "\n";
}

void writeCsv(std::ostream& out, const Context& context, const std::vector<Row>& rows) {
  // The context goes into comment lines, which gnuplot and most CSV readers skip.
  int lines = 0;
  for (const ContextField& field : contextFields())
    lines = std::max(lines, field.csvLine);
  for (int line = 1; line <= lines; ++line) {
    const char* separator = "# ";
    for (const ContextField& field : contextFields()) {
      const Value value = field.value(context);
      if (field.csvLine != line || std::holds_alternative<std::monostate>(value))
        continue;
      const bool* flag = std::get_if<bool>(&value);
      out << separator << field.csv << "="
          << (flag != nullptr ? (*flag ? "on" : "off") : csvText(Column{}, value));
      separator = "; ";
    }
    out << "\n";
  }
  const bool counted = countedRows(rows);
  const char* separator = "";
  for (const Column& column : rowColumns()) {
    if (!column.csv.empty() && inReport(column, counted)) {
      out << separator << csvField(column.csv);
      separator = ",";
    }
  }
  out << "\n";
  for (const Row& row : rows) {
    separator = "";
    for (const Column& column : rowColumns()) {
      if (column.csv.empty() || !inReport(column, counted))
        continue;
      out << separator
          << (isPresent(column, row) ? csvField(csvText(column, column.value(row))) : "");
      separator = ",";
    }
    out << "\n";
  }
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos)
    return text;
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"')
      quoted += '"';
  }
  return quoted + "\"";
}

}  // namespace bench
