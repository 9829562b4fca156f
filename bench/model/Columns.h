// Columns: every column of mapbench's results and every field of their context, described
// once.
//
// The table, JSON and CSV writers and `mapbench compare` all walk these two lists: a column
// is in an output when it has a name there, in the order of the list. Adding a column or a
// context field is one entry; the workload's columns are those of its fields
// (bench/model/WorkloadFields.h). A value can be absent (a map without tree parameters has no
// k, an operation type without samples no latency): the table shows "-", the CSV an empty
// field, and the JSON what the column's `jsonWhenAbsent` says.
//
// The lists are built once and never change; safe to read from any thread.
#ifndef BENCH_MODEL_COLUMNS_H_
#define BENCH_MODEL_COLUMNS_H_

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bench/model/Results.h"

namespace bench {

using Json = nlohmann::ordered_json;

// One value of a row or of the context.
using Value = std::variant<std::monostate, bool, int64_t, double, std::string, std::vector<double>>;

// What a column or context field means to `compare`.
enum class Role {
  kMap,       // names the map, its parameters and its measured mix: rows always match on it
  kCell,      // names the sweep's cell (key space, distribution): rows match on it
  kWorkload,  // the rest of what ran: a difference between two files gets a warning
  kMachine,   // where it ran: a difference gets a warning
  kFigure,    // a measured figure
  kOther,     // neither matched nor warned about (the build, the date, table-only views)
};

// What `compare` shows of a figure: both files' values, their ratio (new / base), or both.
// kTimes marks the per-repetition times that the significance test runs on.
// kCount marks the counts of count reports (mapbench --count): both values, their exact
// difference and ratio.
enum class Compared { kNo, kValues, kRatio, kValuesAndRatio, kTimes, kCount };

// Which reports carry a column: timed ones, count ones (mapbench --count), or both.
enum class Mode { kBoth, kTimed, kCounted };

enum class JsonWhenAbsent { kOmit, kNull, kValue };

struct Column {
  std::string json{};   // key of the JSON row, '/' between nested objects; empty: not in the JSON
  std::string csv{};    // CSV header; empty: not in the CSV
  std::string table{};  // table header; empty: not in the table
  int width = 9;        // table width; right-aligned unless `left`
  bool left = false;
  int decimals = 1;    // of a number in the table; the CSV and JSON carry every digit
  std::string unit{};  // "s", "ns", "bytes", "" for counts and text
  Role role = Role::kFigure;
  Compared compared = Compared::kNo;
  std::string label{};  // its name in compare's table, where it is shown there
  std::function<Value(const Row&)> value{};
  std::function<bool(const Row&)> present{};  // nullptr: always present
  JsonWhenAbsent jsonWhenAbsent = JsonWhenAbsent::kOmit;
  bool csvSixDigits = false;  // written with a stream's default six significant digits
  Mode mode = Mode::kBoth;
  // The JSON key of the count the figure comes from (a latency's samples), or empty: where
  // that count is 0 the figure stands for nothing and `compare` shows none, whatever number
  // an older report wrote.
  std::string countedBy{};
  // What `compare` reads for a JSON row that lacks the member (a report written before the
  // column existed), or nothing to leave it absent.
  std::function<std::optional<Json>(const Json& row)> whenMissing{};
};

struct ContextField {
  std::string json;
  std::string csv;  // name in the CSV's comment lines
  int csvLine = 1;  // which comment line carries it
  Role role = Role::kOther;
  std::function<Value(const Context&)> value;
};

const std::vector<Column>& rowColumns();
const std::vector<ContextField>& contextFields();

bool isPresent(const Column& column, const Row& row);
// Whether `column` belongs in a count report (`counted`) or a timed one.
bool inReport(const Column& column, bool counted);

// The value as JSON, and the JSON at `path` of `item` as a value (absent when missing/null).
Json toJson(const Value& value);
Value fromJson(const Json* json);
// The member at `path` ('/' between nested keys), or nullptr.
const Json* findAt(const Json& item, const std::string& path);
// The number at `path`, or nothing.
std::optional<double> numberAt(const Json& item, const std::string& path);
// Sets the member at `path`, creating the objects on the way.
void setAt(Json& item, const std::string& path, Json value);

// The value in the table's format ("-" when absent) and in the CSV's (empty when absent).
std::string tableText(const Column& column, const Value& value);
std::string csvText(const Column& column, const Value& value);

// The one column that `compare` treats as `compared` (the median time, the repetition times).
const Column& columnComparedAs(Compared compared);

}  // namespace bench

#endif  // BENCH_MODEL_COLUMNS_H_
