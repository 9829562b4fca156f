#include "bench/modes/Compare.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>

#include "bench/model/ExitStatus.h"
#include "bench/options/SharedOptions.h"
#include "bench/output/ResultFiles.h"
#include "util/AtomicFile.h"
#include "util/Printable.h"

namespace bench {

namespace {

// Prints `grid` as a table: the first column left-aligned, the others right-aligned, each
// as wide as its widest cell, two spaces apart.
void printGrid(std::ostream& out, const std::vector<std::vector<std::string>>& grid) {
  std::vector<size_t> widths(grid[0].size(), 0);
  for (const auto& line : grid) {
    for (size_t i = 0; i < line.size(); ++i)
      widths[i] = std::max(widths[i], line[i].size());
  }
  for (const auto& line : grid) {
    for (size_t i = 0; i < line.size(); ++i) {
      if (i == 0)
        out << std::left << std::setw(static_cast<int>(widths[i])) << line[i];
      else
        out << "  " << std::right << std::setw(static_cast<int>(widths[i])) << line[i];
    }
    out << std::right << "\n";
  }
}

std::optional<double> ratioOf(std::optional<double> fresh, std::optional<double> base) {
  if (!fresh || !base || *base <= 0)
    return std::nullopt;
  return *fresh / *base;
}

// A JSON value as a reader wants it: text without quotes, absent as "-".
std::string plainText(const Json* json) {
  if (json == nullptr || json->is_null())
    return "-";
  return json->is_string() ? json->get<std::string>() : json->dump();
}

std::string significant(double value, int digits) {
  std::ostringstream out;
  out << std::setprecision(digits) << value;
  return out.str();
}

// A ratio or time with `decimals` decimals; beyond a million, in significant digits, so that
// a huge figure takes a few characters rather than hundreds.
std::string fixed(std::optional<double> value, int decimals) {
  if (!value)
    return "-";
  if (!(std::abs(*value) < 1e6))
    return significant(*value, 4);
  std::ostringstream out;
  out << std::fixed << std::setprecision(decimals) << *value;
  return out.str();
}

// The column's number in `row`, or nothing: absent, not a number, or drawn from no samples.
std::optional<double> figureAt(const Json& row, const Column& column) {
  if (!column.countedBy.empty()) {
    const std::optional<double> count = numberAt(row, column.countedBy);
    if (count && *count <= 0)
      return std::nullopt;
  }
  return numberAt(row, column.json);
}

bool isKey(const Column& column, bool withCell) {
  return !column.json.empty() &&
         (column.role == Role::kMap || (withCell && column.role == Role::kCell));
}

// "btree k=16 k*=16 keyspace=20000 keys=uniform": the row's map and cell columns.
std::string rowName(const Json& row) {
  std::string name;
  for (const Column& column : rowColumns()) {
    if (!isKey(column, true))
      continue;
    const Json* value = findAt(row, column.json);
    if (value == nullptr)
      continue;
    name += name.empty() ? plainText(value) : " " + column.label + "=" + plainText(value);
  }
  return name;
}

// Adds "name base vs new" to `differences` when the two JSON values differ.
void noteDifference(const std::string& name, const Json* base, const Json* fresh,
                    std::vector<std::string>& differences) {
  if ((base == nullptr) == (fresh == nullptr) && (base == nullptr || *base == *fresh))
    return;
  const std::string text = name + " " + plainText(base) + " vs " + plainText(fresh);
  if (std::find(differences.begin(), differences.end(), text) == differences.end())
    differences.push_back(text);
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts)
    text += (text.empty() ? "" : "; ") + part;
  return text;
}

std::set<std::string> cellsOf(const ResultSet& results) {
  std::set<std::string> cells;
  for (const Json& row : results.rows) {
    std::string cell;
    for (const Column& column : rowColumns()) {
      if (!column.json.empty() && column.role == Role::kCell)
        cell += plainText(findAt(row, column.json)) + "\n";
    }
    cells.insert(cell);
  }
  return cells;
}

// Reports are a few megabytes; a bound keeps /dev/zero or a huge file from exhausting memory.
constexpr size_t kMaxReportBytes = size_t{256} << 20;
// Reports nest four levels deep; the JSON parser's values nest as deep as the text does and
// are freed recursively, so the text's depth is bounded before it is parsed.
constexpr int kMaxNesting = 64;

// The whole file at `path` into `text`; the refusal when it is a folder, unreadable or larger
// than kMaxReportBytes.
std::optional<std::string> readReportText(const std::string& path, std::string& text) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    return path + " is a folder, not a JSON report of mapbench";
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return "cannot read " + path;
  }
  std::vector<char> chunk(size_t{1} << 16);
  while (file.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || file.gcount() > 0) {
    text.append(chunk.data(), static_cast<size_t>(file.gcount()));
    if (text.size() > kMaxReportBytes) {
      return path + " is larger than any JSON report of mapbench (over " +
             std::to_string(kMaxReportBytes >> 20) + " MiB)";
    }
  }
  if (file.bad()) {
    return "cannot read " + path;
  }
  return std::nullopt;
}

// Whether the arrays and objects of the JSON text nest deeper than `limit`; strings are
// skipped.
bool nestedDeeperThan(const std::string& text, int limit) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit)
        return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

// Why a row's figures cannot be compared: a time that is not a finite number above zero, a
// median that is not the median of the repetition times, another figure that is negative or
// not finite. Absent and null figures are allowed (the row shows "-").
std::optional<std::string> figureRefusal(const Json& row) {
  for (const Column& column : rowColumns()) {
    if (column.json.empty() || (column.unit != "s" && column.compared == Compared::kNo))
      continue;
    const Json* value = findAt(row, column.json);
    if (value == nullptr || value->is_null())
      continue;
    const bool time = column.unit == "s";
    auto refusal = [&](const Json& number) -> std::optional<std::string> {
      const double figure = number.is_number() ? number.get<double>() : 0;
      if (number.is_number() && std::isfinite(figure) && (time ? figure > 0 : figure >= 0))
        return std::nullopt;
      return "has " + column.json + " " +
             (number.is_number() ? number.dump() : std::string("of type ") + number.type_name()) +
             ", not " + (time ? "a time above 0" : "a finite number of at least 0");
    };
    if (value->is_array() && column.compared == Compared::kTimes) {
      for (const Json& element : *value) {
        if (std::optional<std::string> line = refusal(element))
          return line;
      }
    } else if (std::optional<std::string> line = refusal(*value)) {
      return line;
    }
  }
  const Value times = fromJson(findAt(row, columnComparedAs(Compared::kTimes).json));
  const std::optional<double> medianTime =
      numberAt(row, columnComparedAs(Compared::kValuesAndRatio).json);
  if (const auto* list = std::get_if<std::vector<double>>(&times);
      list && !list->empty() && medianTime) {
    const double expected = median(*list);
    if (std::abs(*medianTime - expected) > 1e-9 * expected) {
      return "has " + columnComparedAs(Compared::kValuesAndRatio).json + " " +
             significant(*medianTime, 17) + ", not the median of its " +
             columnComparedAs(Compared::kTimes).json + " (" + significant(expected, 17) + ")";
    }
  }
  return std::nullopt;
}

void judge(RowComparison& row, double alpha) {
  const Column& times = columnComparedAs(Compared::kTimes);
  const Column& median = columnComparedAs(Compared::kValuesAndRatio);
  auto timesOf = [&times](const Json& json) {
    const Value value = fromJson(findAt(json, times.json));
    const auto* list = std::get_if<std::vector<double>>(&value);
    return list != nullptr ? *list : std::vector<double>{};
  };
  row.baseTimes = timesOf(row.base);
  row.newTimes = timesOf(row.fresh);
  // The ratio and the verdict come from the same figures: the times, where both sides have
  // them.
  row.ratio = !row.baseTimes.empty() && !row.newTimes.empty()
                  ? ratioOf(bench::median(row.newTimes), bench::median(row.baseTimes))
                  : ratioOf(numberAt(row.fresh, median.json), numberAt(row.base, median.json));
  if (smallestPValue(row.newTimes.size(), row.baseTimes.size()) > alpha) {
    row.verdict = Verdict::kTooFewRepetitions;
    return;
  }
  row.test = mannWhitneyU(row.newTimes, row.baseTimes);
  const double centre = static_cast<double>(row.newTimes.size() * row.baseTimes.size()) / 2;
  if (row.test.p >= alpha)
    row.verdict = Verdict::kSame;
  else
    row.verdict = row.test.u < centre ? Verdict::kFaster : Verdict::kSlower;
}

std::string verdictText(const RowComparison& row) {
  if (row.verdict == Verdict::kTooFewRepetitions) {
    return row.newTimes.empty() || row.baseTimes.empty() ? "no times" : "too few repetitions";
  }
  return std::string(verdictName(row.verdict)) + " (p " + significant(row.test.p, 2) + ")";
}

// The ratio that stands for the row: the median of the pair ratios where the runs were
// interleaved, else the ratio of the medians.
std::optional<double> headlineRatio(const RowComparison& row) {
  if (!row.pairRatios.empty())
    return median(row.pairRatios);
  return row.ratio;
}

// Count reports (mapbench --count): each count is exact, so the table gives both values,
// their difference and their ratio, and no test.

std::string signedText(std::optional<double> value, int decimals) {
  if (!value)
    return "-";
  return (*value > 0 ? "+" : "") + fixed(value, decimals);
}

std::optional<double> differenceOf(std::optional<double> fresh, std::optional<double> base) {
  if (!fresh || !base)
    return std::nullopt;
  return *fresh - *base;
}

// The rows that only one of the two files has.
void printUnmatched(std::ostream& out, const Comparison& comparison) {
  for (const Json& row : comparison.onlyInBase)
    out << "only in base: " << rowName(row) << "\n";
  for (const Json& row : comparison.onlyInNew)
    out << "only in new: " << rowName(row) << "\n";
}

void printCountTable(std::ostream& out, const Comparison& comparison) {
  std::vector<std::vector<std::string>> grid(1);
  for (const Column& column : rowColumns()) {
    if (isKey(column, true)) {
      grid[0].push_back(column.label);
    } else if (column.compared == Compared::kValues && inReport(column, true)) {
      grid[0].insert(grid[0].end(), {column.label + " base", column.label + " new"});
    } else if (column.compared == Compared::kCount) {
      grid[0].insert(grid[0].end(),
                     {"base " + column.label, "new " + column.label, "new-base", "new/base"});
    }
  }
  for (const RowComparison& row : comparison.rows) {
    std::vector<std::string>& cells = grid.emplace_back();
    for (const Column& column : rowColumns()) {
      const std::optional<double> baseValue = numberAt(row.base, column.json);
      const std::optional<double> newValue = numberAt(row.fresh, column.json);
      if (isKey(column, true)) {
        cells.push_back(plainText(findAt(row.fresh, column.json)));
      } else if (column.compared == Compared::kValues && inReport(column, true)) {
        cells.insert(cells.end(), {fixed(baseValue, 2), fixed(newValue, 2)});
      } else if (column.compared == Compared::kCount) {
        cells.insert(cells.end(),
                     {fixed(baseValue, column.decimals), fixed(newValue, column.decimals),
                      signedText(differenceOf(newValue, baseValue), column.decimals),
                      fixed(ratioOf(newValue, baseValue), 4)});
      }
    }
  }
  printGrid(out, grid);
}

}  // namespace

bool isCountReport(const ResultSet& results) {
  return findAt(results.context, "simulated_caches") != nullptr;
}

std::optional<std::string> readResults(const std::string& path, ResultSet& results) {
  std::string text;
  if (std::optional<std::string> unread = readReportText(path, text))
    return unread;
  const std::string notReport = path + " is not a JSON report of mapbench";
  if (nestedDeeperThan(text, kMaxNesting)) {
    return notReport + " (nested deeper than " + std::to_string(kMaxNesting) + " levels)";
  }
  Json document = Json::parse(text, nullptr, false);
  std::string().swap(text);  // the text is not needed beside its values
  if (document.is_discarded()) {
    return notReport + " (not valid JSON)";
  }
  if (!document.is_object() || !document.contains("results") || !document["results"].is_array()) {
    return notReport + " (no \"results\" list)";
  }
  results.name = path;
  if (document.contains("context") && document["context"].is_object())
    results.context = document["context"];
  results.rows.clear();
  for (Json& row : document["results"]) {
    if (!row.is_object() || !row.contains("map")) {
      return path + " holds a result row without a map";
    }
    if (const std::optional<std::string> refusal = figureRefusal(row)) {
      return path + ": row " + std::to_string(results.rows.size() + 1) + " (" +
             util::printable(rowName(row), 200) + ") " + *refusal;
    }
    results.rows.push_back(std::move(row));
    Json& stored = results.rows.back();
    for (const Column& column : rowColumns()) {
      if (column.whenMissing && !column.json.empty() && findAt(stored, column.json) == nullptr) {
        if (std::optional<Json> value = column.whenMissing(stored))
          setAt(stored, column.json, std::move(*value));
      }
    }
  }
  return std::nullopt;
}

std::string rowKey(const Json& row, bool withCell) {
  std::string key;
  for (const Column& column : rowColumns()) {
    if (isKey(column, withCell))
      key += plainText(findAt(row, column.json)) + "\n";
  }
  return key;
}

const char* verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kFaster:
      return "faster";
    case Verdict::kSlower:
      return "slower";
    case Verdict::kSame:
      return "same";
    case Verdict::kTooFewRepetitions:
      break;
  }
  return "too few repetitions";
}

namespace {

// compareResults(), with the rows copied from `base` and `fresh`, or moved from `baseRows` and
// `freshRows` (their rows) where those are given.
Comparison compareRows(const ResultSet& base, const ResultSet& fresh, double alpha,
                       std::vector<Json>* baseRows, std::vector<Json>* freshRows) {
  Comparison comparison;
  comparison.alpha = alpha;
  std::vector<std::string> machine, workload, cells;
  for (const ContextField& field : contextFields()) {
    if (field.role == Role::kMachine || field.role == Role::kWorkload) {
      noteDifference(field.json, findAt(base.context, field.json),
                     findAt(fresh.context, field.json),
                     field.role == Role::kMachine ? machine : workload);
    }
  }
  comparison.counted = isCountReport(base) && isCountReport(fresh);
  if (isCountReport(base) != isCountReport(fresh))
    workload.push_back("counts vs times (only one report was made with --count)");
  // Two single-cell files are matched whatever their cells, with a warning.
  const std::set<std::string> baseCells = cellsOf(base), newCells = cellsOf(fresh);
  const bool withCell = !(baseCells.size() == 1 && newCells.size() == 1);
  auto take = [](const std::vector<Json>& rows, std::vector<Json>* movable, size_t i) -> Json {
    if (movable != nullptr)
      return std::move((*movable)[i]);
    return rows[i];
  };
  // Latencies of reports written before the clock's cost was measured include it.
  auto net = [](const ResultSet& results) {
    return std::any_of(results.rows.begin(), results.rows.end(),
                       [](const Json& row) { return findAt(row, "clock_cost_ns") != nullptr; });
  };
  const bool netBase = net(base), netNew = net(fresh);
  // The new rows of each key, in their order; a row is matched once at most.
  std::map<std::string, std::deque<size_t>> unmatched;
  std::vector<std::string> newKeys(fresh.rows.size());
  for (size_t i = 0; i < fresh.rows.size(); ++i) {
    newKeys[i] = rowKey(fresh.rows[i], withCell);
    unmatched[newKeys[i]].push_back(i);
  }
  std::vector<bool> used(fresh.rows.size(), false);
  // A row whose key an earlier row of its file has is a repeat: where it finds no partner of
  // its own it is named in a warning, not listed as found in one file only.
  std::set<std::string> baseKeys, repeatedInBase, repeatedInNew;
  for (size_t b = 0; b < base.rows.size(); ++b) {
    const std::string key = rowKey(base.rows[b], withCell);
    const bool repeat = !baseKeys.insert(key).second;
    std::deque<size_t>* candidates = nullptr;
    if (const auto found = unmatched.find(key); found != unmatched.end() && !found->second.empty())
      candidates = &found->second;
    if (candidates == nullptr) {
      if (repeat)
        repeatedInBase.insert(rowName(base.rows[b]));
      else
        comparison.onlyInBase.push_back(take(base.rows, baseRows, b));
      continue;
    }
    const size_t match = candidates->front();
    candidates->pop_front();
    used[match] = true;
    RowComparison row;
    row.base = take(base.rows, baseRows, b);
    row.fresh = take(fresh.rows, freshRows, match);
    for (const Column& column : rowColumns()) {
      if (column.json.empty())
        continue;
      if (column.role == Role::kWorkload || (!withCell && column.role == Role::kCell)) {
        noteDifference(column.json, findAt(row.base, column.json), findAt(row.fresh, column.json),
                       column.role == Role::kCell ? cells : workload);
      }
    }
    if (!comparison.counted)
      judge(row, alpha);
    comparison.rows.push_back(std::move(row));
  }
  std::set<std::string> seenNew;
  for (size_t i = 0; i < fresh.rows.size(); ++i) {
    const bool repeat = !seenNew.insert(newKeys[i]).second;
    if (used[i])
      continue;
    if (repeat)
      repeatedInNew.insert(rowName(fresh.rows[i]));
    else
      comparison.onlyInNew.push_back(take(fresh.rows, freshRows, i));
  }
  for (const auto& [side, names] :
       {std::pair{"base", &repeatedInBase}, std::pair{"new", &repeatedInNew}}) {
    if (!names->empty()) {
      comparison.warnings.push_back(std::string("the ") + side + " file repeats rows of " +
                                    joined({names->begin(), names->end()}) +
                                    ": the repeats without a partner are not compared");
    }
  }
  if (!comparison.counted && !base.rows.empty() && !fresh.rows.empty() && netBase != netNew) {
    comparison.warnings.push_back(
        std::string("the latencies differ: the ") + (netBase ? "new" : "base") +
        " file's include the clock's cost of a reading (no clock_cost_ns), the " +
        (netBase ? "base" : "new") + " file's are net of it");
  }
  if (!cells.empty())
    comparison.warnings.push_back("the cells differ: " + joined(cells));
  if (!workload.empty())
    comparison.warnings.push_back("the workloads differ: " + joined(workload));
  if (!machine.empty())
    comparison.warnings.push_back("the machines differ: " + joined(machine));
  return comparison;
}

}  // namespace

Comparison compareResults(const ResultSet& base, const ResultSet& fresh, double alpha) {
  return compareRows(base, fresh, alpha, nullptr, nullptr);
}

Comparison compareResultsTakingRows(ResultSet& base, ResultSet& fresh, double alpha) {
  return compareRows(base, fresh, alpha, &base.rows, &fresh.rows);
}

std::vector<std::string> slowerThan(const Comparison& comparison, double ratio) {
  std::vector<std::string> lines;
  if (comparison.counted) {
    const Column& instructions = columnComparedAs(Compared::kCount);
    for (const RowComparison& row : comparison.rows) {
      const std::optional<double> grown =
          ratioOf(numberAt(row.fresh, instructions.json), numberAt(row.base, instructions.json));
      if (grown && *grown > ratio) {
        lines.push_back(rowName(row.fresh) + " executes " + fixed(grown, 4) +
                        " x the base's instructions per operation, above " + significant(ratio, 6));
      }
    }
    return lines;
  }
  for (const RowComparison& row : comparison.rows) {
    const std::optional<double> headline = headlineRatio(row);
    if (row.verdict == Verdict::kSlower && headline && *headline > ratio) {
      lines.push_back(rowName(row.fresh) + " is slower: " + fixed(headline, 3) + " x the base (p " +
                      significant(row.test.p, 2) + "), above " + significant(ratio, 6));
    }
  }
  return lines;
}

void printComparison(std::ostream& out, const Comparison& comparison, const ResultSet& base,
                     const ResultSet& fresh) {
  for (const auto& [label, results] : {std::pair{"base", &base}, std::pair{"new ", &fresh}}) {
    out << label << ": " << results->name << " (commit "
        << plainText(findAt(results->context, "commit")) << ", "
        << plainText(findAt(results->context, "date")) << ")\n";
  }
  for (const std::string& warning : comparison.warnings)
    out << "warning: " << warning << "\n";
  if (comparison.counted) {
    printCountTable(out, comparison);
    printUnmatched(out, comparison);
    out << "Counts per operation under valgrind's cache simulation ("
        << plainText(findAt(fresh.context, "simulated_caches"))
        << "); they do not vary between runs, so new-base is the exact difference and no test "
           "is made.\nnew/base below 1: new executes fewer instructions or misses less.\n";
    return;
  }

  // The table as text cells; the widths follow from the longest cell of each column.
  std::vector<std::vector<std::string>> grid(1);
  for (const Column& column : rowColumns()) {
    if (isKey(column, true)) {
      grid[0].push_back(column.label);
    } else if (column.compared == Compared::kValuesAndRatio) {
      grid[0].insert(grid[0].end(), {"base " + column.label, "new " + column.label,
                                     comparison.interleaved ? "new/base (range)" : "new/base"});
    } else if (column.compared == Compared::kTimes || column.compared == Compared::kRatio) {
      grid[0].push_back(column.label);
    } else if (column.compared == Compared::kValues) {
      grid[0].insert(grid[0].end(), {column.label + " base", column.label + " new"});
    }
  }
  for (const RowComparison& row : comparison.rows) {
    std::vector<std::string>& cells = grid.emplace_back();
    for (const Column& column : rowColumns()) {
      const std::optional<double> baseValue = numberAt(row.base, column.json);
      const std::optional<double> newValue = numberAt(row.fresh, column.json);
      auto number = [](std::optional<double> value) {
        return value ? significant(*value, 4) : std::string("-");
      };
      if (isKey(column, true)) {
        cells.push_back(plainText(findAt(row.fresh, column.json)));
      } else if (column.compared == Compared::kValuesAndRatio) {
        std::string ratio = fixed(headlineRatio(row), 3);
        if (!row.pairRatios.empty()) {
          const auto [low, high] =
              std::minmax_element(row.pairRatios.begin(), row.pairRatios.end());
          ratio += " (" + fixed(*low, 2) + "-" + fixed(*high, 2) + ")";
        }
        cells.insert(cells.end(), {number(baseValue), number(newValue), ratio});
      } else if (column.compared == Compared::kTimes) {
        cells.push_back(verdictText(row));
      } else if (column.compared == Compared::kRatio) {
        cells.push_back(fixed(ratioOf(figureAt(row.fresh, column), figureAt(row.base, column)), 2));
      } else if (column.compared == Compared::kValues) {
        cells.insert(cells.end(), {number(baseValue), number(newValue)});
      }
    }
  }
  printGrid(out, grid);
  printUnmatched(out, comparison);
  out << "new/base: "
      << (comparison.interleaved ? "median of the pairs' time ratios, with their range"
                                 : "ratio of the median times")
      << " (below 1: new is faster); p50 columns: ratios of the p50 latencies.\n"
         "verdict: two-sided Mann-Whitney U test of the repetition times at alpha "
      << significant(comparison.alpha, 6)
      << " (exact distribution below 50 times a side without ties, else the normal approximation "
         "with tie and continuity correction).\n";
}

Json comparisonJson(const Comparison& comparison, const ResultSet& base, const ResultSet& fresh) {
  Json document;
  document["test"] =
      comparison.counted ? "none: counts do not vary between runs" : "two-sided Mann-Whitney U";
  document["alpha"] = comparison.alpha;
  document["base"] = {{"name", base.name}, {"context", base.context}};
  document["new"] = {{"name", fresh.name}, {"context", fresh.context}};
  document["warnings"] = comparison.warnings;
  Json rows = Json::array();
  for (const RowComparison& row : comparison.rows) {
    Json item = Json::object();
    for (const Column& column : rowColumns()) {
      if (column.json.empty() || !inReport(column, comparison.counted))
        continue;
      const Json* baseValue = findAt(row.base, column.json);
      const Json* newValue = findAt(row.fresh, column.json);
      if (isKey(column, true)) {
        if (newValue != nullptr)
          setAt(item, column.json, *newValue);
        continue;
      }
      Json compared = Json::object();
      switch (column.compared) {
        case Compared::kNo:
          continue;
        case Compared::kTimes:
          compared = {{"base", row.baseTimes},
                      {"new", row.newTimes},
                      {"verdict", verdictName(row.verdict)}};
          if (row.verdict != Verdict::kTooFewRepetitions) {
            compared["u"] = row.test.u;
            compared["p"] = row.test.p;
            compared["exact"] = row.test.exact;
          }
          break;
        case Compared::kValues:
        case Compared::kRatio:
        case Compared::kValuesAndRatio:
          compared["base"] = baseValue != nullptr ? *baseValue : Json();
          compared["new"] = newValue != nullptr ? *newValue : Json();
          if (column.compared != Compared::kValues) {
            const std::optional<double> ratio =
                ratioOf(figureAt(row.fresh, column), figureAt(row.base, column));
            compared["ratio"] = ratio ? Json(*ratio) : Json();
          }
          break;
        case Compared::kCount: {
          const std::optional<double> baseCount = numberAt(row.base, column.json);
          const std::optional<double> newCount = numberAt(row.fresh, column.json);
          const std::optional<double> difference = differenceOf(newCount, baseCount);
          const std::optional<double> ratio = ratioOf(newCount, baseCount);
          compared = {{"base", baseValue != nullptr ? *baseValue : Json()},
                      {"new", newValue != nullptr ? *newValue : Json()},
                      {"difference", difference ? Json(*difference) : Json()},
                      {"ratio", ratio ? Json(*ratio) : Json()}};
          break;
        }
      }
      compared["unit"] = column.unit;
      setAt(item, column.json, std::move(compared));
    }
    if (!row.pairRatios.empty()) {
      const auto [low, high] = std::minmax_element(row.pairRatios.begin(), row.pairRatios.end());
      item["pair_ratios"] = {{"values", row.pairRatios},
                             {"median", median(row.pairRatios)},
                             {"min", *low},
                             {"max", *high}};
    }
    rows.push_back(std::move(item));
  }
  document["rows"] = std::move(rows);
  for (const auto& [name, list] : {std::pair{"only_in_base", &comparison.onlyInBase},
                                   std::pair{"only_in_new", &comparison.onlyInNew}}) {
    document[name] = Json::array();
    for (const Json& row : *list) {
      Json key = Json::object();
      for (const Column& column : rowColumns()) {
        if (const Json* value = isKey(column, true) ? findAt(row, column.json) : nullptr)
          setAt(key, column.json, *value);
      }
      document[name].push_back(std::move(key));
    }
  }
  return document;
}

namespace {

// The rows --fail-above cannot pass because no test was made on them, as one line, or
// nothing. A gate that let them through would pass whatever they hold: with three
// repetitions a side no outcome reaches the usual levels.
std::optional<std::string> unjudged(const Comparison& comparison) {
  if (comparison.counted)
    return std::nullopt;
  std::vector<std::string> fewTimes, noTimes;
  for (const RowComparison& row : comparison.rows) {
    if (row.verdict == Verdict::kTooFewRepetitions)
      (row.newTimes.empty() || row.baseTimes.empty() ? noTimes : fewTimes)
          .push_back(rowName(row.fresh));
  }
  if (fewTimes.empty() && noTimes.empty())
    return std::nullopt;
  size_t needed = 2;
  while (smallestPValue(needed, needed) > comparison.alpha && needed < 1000)
    ++needed;
  std::string line = "--fail-above cannot judge " +
                     std::to_string(fewTimes.size() + noTimes.size()) + " of " +
                     std::to_string(comparison.rows.size()) + " rows: ";
  if (!fewTimes.empty()) {
    line += "too few repetitions for a test at alpha " + significant(comparison.alpha, 6) +
            " (at least " + std::to_string(needed) + " a side) in " + joined(fewTimes);
  }
  if (!noTimes.empty())
    line += std::string(fewTimes.empty() ? "" : "; ") + "no times in " + joined(noTimes);
  return line;
}

}  // namespace

int reportComparison(const Comparison& comparison, const ResultSet& base, const ResultSet& fresh,
                     const std::string& jsonPath, std::optional<double> failAbove,
                     std::ostream& out, std::ostream& err) {
  printComparison(out, comparison, base, fresh);
  // Built only for the file: it holds every compared figure of both sides.
  Json document = jsonPath.empty() ? Json::object() : comparisonJson(comparison, base, fresh);
  std::vector<std::string> slower;
  if (failAbove) {
    slower = slowerThan(comparison, *failAbove);
    // Nothing judged is no pass: a gate over no rows would let anything through.
    if (comparison.rows.empty())
      slower.push_back("no row of the new results matches one of the base: nothing to judge");
    if (const std::optional<std::string> line = unjudged(comparison))
      slower.push_back(*line);
    document["fail_above"] = *failAbove;
    document["failed"] = !slower.empty();
  }
  const bool written = writeFile(
      jsonPath, [&](std::ostream& file) { file << std::setw(2) << document << "\n"; }, err);
  for (const std::string& line : slower)
    err << "mapbench: " << line << "\n";
  return written && slower.empty() ? kSuccess : kFailure;
}

int runCompare(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "mapbench compare: sets two JSON reports of mapbench side by side, row by row, and "
      "says\nwhether each difference in time is beyond the noise of the repetitions.",
      "mapbench compare"};
  std::string basePath, newPath, jsonPath;
  VerdictOptions verdict;
  app.add_option("BASE", basePath, "The base report (mapbench --json)")->required();
  app.add_option("NEW", newPath, "The report to judge against it")->required();
  addVerdictOptions(app, verdict);
  refuseEmpty(app.add_option("--json", jsonPath, "Also write the comparison as JSON to this file"));
  app.footer(
      "Exit status: 0, 1 when a row is slower beyond --fail-above or the --json file could not "
      "be written, 2 for a refused command line or a file that is not a mapbench report.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help, out, err);
  } catch (const CLI::ParseError& error) {
    err << "mapbench compare: " << error.what() << "\n";
    return kUsageError;
  }
  if (const std::optional<std::string> clash =
          util::outputClash({{"BASE", basePath}, {"NEW", newPath}}, {{"--json", jsonPath}})) {
    err << "mapbench compare: " << *clash << "\n";
    return kUsageError;
  }
  if (const std::optional<std::string> refusal =
          jsonPath.empty() ? std::nullopt : util::writableRefusal(jsonPath)) {
    err << "mapbench compare: " << *refusal << "\n";
    return 2;
  }
  ResultSet base, fresh;
  std::optional<std::string> unread = readResults(basePath, base);
  if (!unread)
    unread = readResults(newPath, fresh);
  if (unread) {
    err << "mapbench compare: " << *unread << "\n";
    return kUsageError;
  }
  const Comparison comparison = compareResultsTakingRows(base, fresh, verdict.alpha);
  return reportComparison(comparison, base, fresh, jsonPath, verdict.failAbove, out, err);
}

}  // namespace bench
