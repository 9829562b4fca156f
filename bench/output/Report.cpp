#include "bench/output/Report.h"

#include <algorithm>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/model/Columns.h"
#include "bench/model/KeySetOption.h"
#include "bench/run/HugePages.h"
#include "bench/run/Valgrind.h"

namespace bench {

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
  // A left-aligned column after a right-aligned one is set a space apart: the right-aligned
  // text ends at its column's edge.
  const Column* previous = nullptr;
  auto cell = [&out, &previous](const Column& column) -> std::ostream& {
    if (column.left && previous != nullptr && !previous->left)
      out << ' ';
    previous = &column;
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
    previous = nullptr;
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

void printCountFooter(std::ostream& out) {
  out << "Counts per operation of the map's measured run minus the no-op map's, under "
         "valgrind's cache simulation:\nIr/op instructions; D1 and LL miss/op data misses "
         "(reads and writes) of the simulated caches ("
      << simulatedCachesText()
      << "),\nwhich start empty with the measured run. The same binary and options give the "
         "same counts on every run.\nB/entry: bytes the map has allocated at the end, exact.\n";
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
