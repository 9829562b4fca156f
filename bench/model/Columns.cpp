#include "bench/model/Columns.h"

#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "bench/model/WorkloadFields.h"
#include "util/NumberFormat.h"

namespace bench {

namespace {

std::string fixed(double value, int decimals) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(decimals) << value;
  return out.str();
}

int64_t integer(int64_t value) {
  return value;
}

bool timed(const Row& row) {
  return !row.tooShortToTime;
}

// The columns of one operation type's latencies: p50 and p99 for the JSON and CSV, the
// samples behind them and the operations the samples were drawn from for the JSON.
void addLatencyColumns(std::vector<Column>& columns, int type) {
  const std::string name = kOperationTypeNames[type];
  const std::string path = "latency_ns/" + name + "/";
  auto sampled = [type](const Row& row) { return row.latency[type].samples > 0; };
  columns.push_back(
      {.json = path + "p50",
       .csv = name + "_p50_ns",
       .unit = "ns",
       .compared = Compared::kRatio,
       .label = name + " p50",
       .value = [type](const Row& row) -> Value { return row.latency[type].p50Nanos; },
       .present = sampled,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .csvSixDigits = true,
       .mode = Mode::kTimed,
       .countedBy = path + "samples"});
  columns.push_back(
      {.json = path + "p99",
       .csv = name + "_p99_ns",
       .unit = "ns",
       .value = [type](const Row& row) -> Value { return row.latency[type].p99Nanos; },
       .present = sampled,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .csvSixDigits = true,
       .mode = Mode::kTimed,
       .countedBy = path + "samples"});
  columns.push_back(
      {.json = path + "samples",
       .value = [type](const Row& row) -> Value { return integer(row.latency[type].samples); },
       .mode = Mode::kTimed});
  columns.push_back(
      {.json = path + "operations",
       .value = [type](const Row& row) -> Value { return integer(row.operations[type]); },
       .mode = Mode::kTimed});
}

// The counts per operation of a count report (mapbench --count).
void addCountColumns(std::vector<Column>& columns) {
  auto counted = [](const Row& row) { return row.counted; };
  columns.push_back({.json = "counts_per_operation/instructions",
                     .csv = "instructions_per_op",
                     .table = "Ir/op",
                     .width = 10,
                     .unit = "instructions",
                     .compared = Compared::kCount,
                     .label = "Ir/op",
                     .value = [](const Row& row) -> Value { return row.instructionsPerOperation; },
                     .present = counted,
                     .mode = Mode::kCounted});
  columns.push_back({.json = "counts_per_operation/d1_misses",
                     .csv = "d1_misses_per_op",
                     .table = "D1 miss/op",
                     .width = 11,
                     .decimals = 3,
                     .unit = "misses",
                     .compared = Compared::kCount,
                     .label = "D1/op",
                     .value = [](const Row& row) -> Value { return row.d1MissesPerOperation; },
                     .present = counted,
                     .mode = Mode::kCounted});
  columns.push_back({.json = "counts_per_operation/ll_misses",
                     .csv = "ll_misses_per_op",
                     .table = "LL miss/op",
                     .width = 11,
                     .decimals = 3,
                     .unit = "misses",
                     .compared = Compared::kCount,
                     .label = "LL/op",
                     .value = [](const Row& row) -> Value { return row.llMissesPerOperation; },
                     .present = counted,
                     .mode = Mode::kCounted});
}

std::vector<Column> buildRowColumns() {
  std::vector<Column> columns = {
      {.json = "map",
       .csv = "map",
       .table = "map",
       .width = 12,
       .left = true,
       .role = Role::kMap,
       .label = "map",
       .value = [](const Row& row) -> Value { return row.map; }},
      {.table = "k/k*",
       .width = 9,
       .left = true,
       .role = Role::kOther,
       .value = [](const Row& row) -> Value {
         if (!row.usesTreeParameters)
           return "-";
         return std::to_string(row.parameters.k) + "/" + std::to_string(row.parameters.k_star);
       }},
      {.json = "k",
       .csv = "k",
       .role = Role::kMap,
       .label = "k",
       .value = [](const Row& row) -> Value { return integer(row.parameters.k); },
       .present = [](const Row& row) { return row.usesTreeParameters; }},
      {.json = "k_star",
       .csv = "k_star",
       .role = Role::kMap,
       .label = "k*",
       .value = [](const Row& row) -> Value { return integer(row.parameters.k_star); },
       .present = [](const Row& row) { return row.usesTreeParameters; }},
  };
  appendWorkloadColumns(columns, false);
  const std::vector<Column> figures = {
      {.json = "repetitions",
       .csv = "repetitions",
       .value = [](const Row& row) -> Value { return integer(row.repetitions); }},
      {.json = "median_seconds",
       .csv = "median_s",
       .table = "median s",
       .width = 10,
       .decimals = 3,
       .unit = "s",
       .compared = Compared::kValuesAndRatio,
       .label = "s",
       .value = [](const Row& row) -> Value { return row.medianSeconds; },
       .present = timed,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .mode = Mode::kTimed},
      {.json = "min_seconds",
       .csv = "min_s",
       .table = "min s",
       .decimals = 3,
       .unit = "s",
       .value = [](const Row& row) -> Value { return row.minSeconds; },
       .present = timed,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .mode = Mode::kTimed},
      {.json = "max_seconds",
       .csv = "max_s",
       .table = "max s",
       .decimals = 3,
       .unit = "s",
       .value = [](const Row& row) -> Value { return row.maxSeconds; },
       .present = timed,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .mode = Mode::kTimed},
      {.json = "repetition_seconds",
       .unit = "s",
       .compared = Compared::kTimes,
       .label = "verdict",
       .value = [](const Row& row) -> Value { return row.repetitionSeconds; },
       .present = timed,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .mode = Mode::kTimed},
      {.json = "ns_per_operation",
       .csv = "ns_per_op",
       .table = "ns/op",
       .unit = "ns",
       .value = [](const Row& row) -> Value { return row.nanosPerOperation; },
       .present = timed,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .mode = Mode::kTimed},
      {.json = "mops_per_second",
       .csv = "mops",
       .table = "Mops/s",
       .width = 8,
       .decimals = 2,
       .value = [](const Row& row) -> Value { return row.millionOperationsPerSecond; },
       .present = timed,
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .mode = Mode::kTimed},
      {.json = "bytes_per_entry",
       .csv = "bytes_per_entry",
       .table = "B/entry",
       .unit = "bytes",
       .compared = Compared::kValues,
       .label = "B/e",
       .value = [](const Row& row) -> Value { return row.bytesPerEntry; },
       .present = [](const Row& row) { return row.bytesPerEntry >= 0; },
       .jsonWhenAbsent = JsonWhenAbsent::kNull},
      {.json = "rss_bytes_per_entry",
       .csv = "rss_bytes_per_entry",
       .table = "RSS B/e",
       .unit = "bytes",
       .value = [](const Row& row) -> Value { return row.residentBytesPerEntry; },
       .present = [](const Row& row) { return row.residentBytesPerEntry >= 0; },
       .jsonWhenAbsent = JsonWhenAbsent::kNull,
       .mode = Mode::kTimed},
      {.json = "huge_page_bytes",
       .csv = "huge_page_bytes",
       .unit = "bytes",
       .value = [](const Row& row) -> Value { return integer(row.hugePageBytes); },
       .mode = Mode::kTimed},
  };
  columns.insert(columns.end(), figures.begin(), figures.end());
  for (int type = 0; type < kOperationTypes; ++type)
    addLatencyColumns(columns, type);
  columns.push_back({.json = "clock_cost_ns",
                     .csv = "clock_cost_ns",
                     .unit = "ns",
                     .value = [](const Row& row) -> Value { return integer(row.clockCostNanos); },
                     .mode = Mode::kTimed});
  // One operation in this many was timed (0: none); `compare` warns when two reports differ.
  columns.push_back(
      {.json = "sample_every",
       .csv = "sample_every",
       .role = Role::kWorkload,
       .value = [](const Row& row) -> Value { return integer(row.config.sampleEvery); },
       .mode = Mode::kTimed});
  for (int type = 0; type < kOperationTypes; ++type) {
    columns.push_back({.table = std::string(kOperationTypeNames[type]) + " p50/p99",
                       .width = 17,
                       .unit = "ns",
                       .value = [type](const Row& row) -> Value {
                         const LatencySummary& latency = row.latency[type];
                         if (latency.samples == 0)
                           return "-";
                         return fixed(latency.p50Nanos, 0) + "/" + fixed(latency.p99Nanos, 0);
                       },
                       .mode = Mode::kTimed});
  }
  const std::vector<Column> tail = {
      {.table = "THP MiB",
       .decimals = 0,
       .unit = "MiB",
       .value = [](const Row& row) -> Value {
         return static_cast<double>(row.hugePageBytes) / (1 << 20);
       },
       .mode = Mode::kTimed},
      {.json = "expected_size",
       .csv = "expected_size",
       .value = [](const Row& row) -> Value { return integer(row.expectedSize); }},
      {.json = "reported_size",
       .csv = "reported_size",
       .value = [](const Row& row) -> Value { return integer(row.reportedSize); }},
  };
  columns.insert(columns.end(), tail.begin(), tail.end());
  addCountColumns(columns);
  appendWorkloadColumns(columns, true);
  return columns;
}

std::vector<ContextField> buildContextFields() {
  return {
      {"compiler", "compiler", 1, Role::kOther,
       [](const Context& context) -> Value { return context.compiler; }},
      {"build_type", "build", 1, Role::kOther,
       [](const Context& context) -> Value { return context.buildType; }},
      {"flags", "flags", 1, Role::kOther,
       [](const Context& context) -> Value { return context.flags; }},
      {"commit", "commit", 1, Role::kOther,
       [](const Context& context) -> Value { return context.commit; }},
      {"cpu", "cpu", 2, Role::kMachine,
       [](const Context& context) -> Value { return context.cpu; }},
      {"cores", "cores", 2, Role::kMachine,
       [](const Context& context) -> Value { return integer(context.cores); }},
      {"host", "host", 2, Role::kMachine,
       [](const Context& context) -> Value { return context.host; }},
      {"kernel", "kernel", 2, Role::kOther,
       [](const Context& context) -> Value { return context.kernel; }},
      {"date", "date", 2, Role::kOther,
       [](const Context& context) -> Value { return context.date; }},
      {"huge_pages", "huge_pages", 2, Role::kWorkload,
       [](const Context& context) -> Value { return context.hugePages; }},
      // Count reports only: the caches valgrind simulated.
      {"simulated_caches", "simulated_caches", 2, Role::kWorkload,
       [](const Context& context) -> Value {
         return context.simulatedCaches.empty() ? Value() : Value(context.simulatedCaches);
       }},
  };
}

}  // namespace

const std::vector<Column>& rowColumns() {
  static const std::vector<Column> columns = buildRowColumns();
  return columns;
}

const std::vector<ContextField>& contextFields() {
  static const std::vector<ContextField> fields = buildContextFields();
  return fields;
}

const Column& columnComparedAs(Compared compared) {
  for (const Column& column : rowColumns()) {
    if (column.compared == compared)
      return column;
  }
  throw std::logic_error("no column is compared that way");
}

bool isPresent(const Column& column, const Row& row) {
  return !column.present || column.present(row);
}

bool inReport(const Column& column, bool counted) {
  return column.mode == Mode::kBoth || (column.mode == Mode::kCounted) == counted;
}

Json toJson(const Value& value) {
  return std::visit(
      [](const auto& held) -> Json {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, std::monostate>)
          return nullptr;
        else
          return Json(held);
      },
      value);
}

Value fromJson(const Json* json) {
  if (json == nullptr || json->is_null())
    return {};
  if (json->is_boolean())
    return json->get<bool>();
  if (json->is_number_integer())
    return json->get<int64_t>();
  if (json->is_number())
    return json->get<double>();
  if (json->is_string())
    return json->get<std::string>();
  if (json->is_array()) {
    std::vector<double> values;
    for (const Json& element : *json) {
      if (element.is_number())
        values.push_back(element.get<double>());
    }
    return values;
  }
  return {};
}

const Json* findAt(const Json& item, const std::string& path) {
  const Json* node = &item;
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    const std::string key = path.substr(start, slash - start);
    if (!node->is_object())
      return nullptr;
    const auto found = node->find(key);
    if (found == node->end())
      return nullptr;
    node = &*found;
    if (slash == std::string::npos)
      return node;
    start = slash + 1;
  }
}

std::optional<double> numberAt(const Json& item, const std::string& path) {
  const Json* json = findAt(item, path);
  if (json == nullptr || !json->is_number())
    return std::nullopt;
  return json->get<double>();
}

void setAt(Json& item, const std::string& path, Json value) {
  Json* node = &item;
  size_t start = 0;
  for (size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
    node = &(*node)[path.substr(start, slash - start)];
  (*node)[path.substr(start)] = std::move(value);
}

std::string tableText(const Column& column, const Value& value) {
  if (const auto* number = std::get_if<double>(&value))
    return fixed(*number, column.decimals);
  if (const auto* number = std::get_if<int64_t>(&value))
    return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&value))
    return *text;
  if (const auto* flag = std::get_if<bool>(&value))
    return *flag ? "on" : "off";
  return "-";
}

std::string csvText(const Column& column, const Value& value) {
  if (const auto* number = std::get_if<double>(&value)) {
    if (!column.csvSixDigits)
      return util::formatDouble(*number);
    std::ostringstream out;
    out << *number;
    return out.str();
  }
  if (std::holds_alternative<std::monostate>(value))
    return "";
  return tableText(column, value);
}

}  // namespace bench
