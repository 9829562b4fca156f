#include "bench/modes/Check.h"

#include <fstream>
#include <iomanip>

#include "bench/model/Columns.h"
#include "bench/modes/Sweep.h"
#include "bench/output/ResultFiles.h"
#include "workload/CommandLine.h"

namespace bench {

namespace {

// The figures of a --check report: their JSON names, how a difference names them, and
// whether the builds must agree on them (the end-of-query calls are the map's own affair).
struct CheckFigure {
  const char* json;
  const char* name;
  int64_t CheckFigures::*member;
  bool mustAgree;
};
constexpr CheckFigure kCheckFigures[] = {
    {"values_pushed", "values pushed", &CheckFigures::valuesPushed, true},
    {"value_sum", "sum of the values", &CheckFigures::valueSum, true},
    {"queries", "queries", &CheckFigures::queries, true},
    {"end_of_query", "end-of-query calls", &CheckFigures::endOfQuery, false},
    {"size", "final size", &CheckFigures::size, true},
};

}  // namespace

int runCheck(const Options& options, std::ostream& out, std::ostream& err) {
  const std::vector<const MapKind*> kinds = selectMaps(options.maps);
  bool agree = true;
  // The last cell's figures, which --against reads (it checks one cell at a time), and every
  // cell's, so that a list of cells loses none.
  CheckReport report;
  Json cells = Json::array();
  // The cells of the sweep the same options would time: presets, key spaces, distributions.
  for (const Cell& cell : planCells(options, kinds)) {
    const WorkloadConfig& config = cell.config;
    const std::string workload = presetNameOf(config.measuredMix, config.maxRangeSize);
    out << "distribution " << test::distributionName(config.distribution) << ", workload "
        << workload;
    if (!options.keySpaces.empty())
      out << ", key space " << config.keySpace;
    out << "\n";
    out << "map          values pushed            sum      queries  end-of-query  size\n";
    report.clear();
    std::optional<CheckSums> reference;
    for (const MapKind* kind : kinds) {
      if (kind->name == "dummy")
        continue;
      RunResult result;
      if (!runOnce(*kind, options.parameters, config, options, result, err))
        return kFailure;
      const CheckSums& sums = result.check;
      report[kind->name] = {sums.valuesPushed, sums.valueSum, sums.queries, sums.endOfQuery,
                            result.reportedSize};
      const bool sizeOk = result.reportedSize == result.expectedSize;
      const bool sameAsFirst = !reference || (sums.valuesPushed == reference->valuesPushed &&
                                              sums.valueSum == reference->valueSum &&
                                              sums.queries == reference->queries);
      if (!reference)
        reference = sums;
      agree = agree && sizeOk && sameAsFirst;
      out << std::left << std::setw(12) << kind->name << std::right << std::setw(14)
          << sums.valuesPushed << std::setw(19) << sums.valueSum << std::setw(13) << sums.queries
          << std::setw(14) << sums.endOfQuery << "  " << result.reportedSize
          << (sizeOk ? "" : " (expected " + std::to_string(result.expectedSize) + ")")
          << (sameAsFirst ? "" : "  DIFFERS") << "\n";
    }
    Json row = checkReportJson(report);
    row["workload"] = workload;
    row["distribution"] = test::distributionName(config.distribution);
    row["key_space"] = config.keySpace;
    cells.push_back(std::move(row));
  }
  out << (agree ? "All maps agree.\n" : "MAPS DISAGREE.\n");
  Json document = checkReportJson(report);
  document["cells"] = std::move(cells);
  const bool written = writeFile(
      options.jsonPath, [&](std::ostream& file) { file << document.dump(2) << "\n"; }, err);
  return agree && written ? kSuccess : kFailure;
}

Json checkReportJson(const CheckReport& report) {
  Json rows = Json::array();
  for (const auto& [map, figures] : report) {
    Json row = {{"map", map}};
    for (const CheckFigure& figure : kCheckFigures)
      row[figure.json] = figures.*figure.member;
    rows.push_back(std::move(row));
  }
  return {{"check", std::move(rows)}};
}

std::optional<std::string> readCheckReport(const std::string& path, CheckReport& report) {
  std::ifstream file(path);
  const Json document = Json::parse(file, nullptr, false);
  const Json* rows = document.is_object() ? findAt(document, "check") : nullptr;
  if (!file || rows == nullptr || !rows->is_array())
    return path + " holds no --check figures (a build that cannot write them with --json?)";
  report.clear();
  for (const Json& row : *rows) {
    const Json* map = row.is_object() ? findAt(row, "map") : nullptr;
    if (map == nullptr || !map->is_string())
      return path + " holds --check figures without a map";
    CheckFigures& figures = report[map->get<std::string>()];
    for (const CheckFigure& figure : kCheckFigures) {
      const Json* value = findAt(row, figure.json);
      if (value == nullptr || !value->is_number_integer())
        return path + " holds no " + figure.name + " for " + map->get<std::string>();
      figures.*figure.member = value->get<int64_t>();
    }
  }
  return std::nullopt;
}

std::optional<std::string> checkDifference(const CheckReport& here, const CheckReport& there,
                                           const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const auto mine = here.find(name), theirs = there.find(name);
    if (mine == here.end() || theirs == there.end())
      return name + " is missing from the --check figures of " +
             (mine == here.end() ? "this build" : "the other build");
    for (const CheckFigure& figure : kCheckFigures) {
      const int64_t x = mine->second.*figure.member, y = theirs->second.*figure.member;
      if (figure.mustAgree && x != y) {
        return name + " " + figure.name + ": " + std::to_string(x) + " here, " + std::to_string(y) +
               " in the other build";
      }
    }
  }
  return std::nullopt;
}

}  // namespace bench
