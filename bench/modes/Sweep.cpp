#include "bench/modes/Sweep.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <tuple>

#include "bench/model/KeySetOption.h"
#include "bench/model/WorkloadFields.h"
#include "bench/modes/Counting.h"
#include "bench/output/Report.h"
#include "bench/output/ResultFiles.h"
#include "bench/run/BenchmarkRunner.h"
#include "bench/run/MachineContext.h"
#include "bench/run/Valgrind.h"
#include "workload/CommandLine.h"
#include "workload/KeyFlags.h"
#include "workload/PointKeys.h"

namespace bench {

namespace {

// The driver's own memory besides its key flags: the process, the latency samples, slack.
constexpr int64_t kDriverBytes = int64_t{256} << 20;

}  // namespace

WorkloadConfig scaledTo(const WorkloadConfig& base, int32_t keySpace, bool fixedOperations) {
  WorkloadConfig config = base;
  const double factor = static_cast<double>(keySpace) / base.keySpace;
  config.keySpace = keySpace;
  for (const WorkloadField& field : workloadFields()) {
    if (field.sweep == Sweep::kScaled ||
        (field.sweep == Sweep::kScaledUnlessGiven && !fixedOperations)) {
      config.*field.scaled = static_cast<int32_t>(
          std::min<int64_t>(std::llround(base.*field.scaled * factor), INT32_MAX));
    }
  }
  return config;
}

int64_t estimatedRunBytes(const MapKind& kind, const TreeParameters& parameters,
                          const WorkloadConfig& config) {
  const test::OperationMix& mix = config.measuredMix;
  const double inserts = config.fillOperations + static_cast<double>(config.measuredOperations) *
                                                     (1 - mix.queryRatio) * (1 - mix.deleteRatio);
  const double entries = std::min(inserts, static_cast<double>(config.keySpace));
  // The driver's record of the present keys (bench/run/BenchmarkRunner.cpp).
  const int64_t slots = int64_t{config.keySpace} + 1;
  const int64_t presentKeyBytes = config.hitRatio ? test::PresentKeySample::bytesFor(slots)
                                                  : test::BitKeyFlags::bytesFor(slots);
  return static_cast<int64_t>(entries * bytesPerEntryEstimate(kind, parameters)) + presentKeyBytes +
         keySetBytes(config) + kDriverBytes;
}

std::optional<int64_t> availableMemoryBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  int64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> name >> kilobytes >> unit) {
    if (name == "MemAvailable:")
      return kilobytes * 1024;
  }
  return std::nullopt;
}

std::vector<MeasuredMix> sweptWorkloads(const Options& options) {
  if (!options.workloads.empty())
    return options.workloads;
  return {{options.config.measuredMix, options.config.maxRangeSize}};
}

std::vector<Cell> planCells(const Options& options, const std::vector<const MapKind*>& kinds) {
  std::vector<int32_t> keySpaces = options.keySpaces;
  if (keySpaces.empty())
    keySpaces.push_back(options.config.keySpace);
  const std::vector<TreeParameters> parameterList = parameterSets(options);

  std::vector<Cell> cells;
  for (const MeasuredMix& workload : sweptWorkloads(options)) {
    for (int32_t keySpace : keySpaces) {
      for (test::KeyDistribution distribution : options.distributions) {
        Cell cell{scaledTo(options.config, keySpace, options.opsGiven), {}};
        cell.config.distribution = distribution;
        cell.config.measuredMix = workload.mix;
        cell.config.maxRangeSize = workload.maxRangeSize;
        for (const MapKind* kind : kinds) {
          if (kind->name == "dummy")
            continue;
          const std::vector<TreeParameters> sets =
              kind->usesTreeParameters ? parameterList : std::vector{options.parameters};
          for (const TreeParameters& parameters : sets) {
            cell.measurements.push_back(
                {kind->name, kind->usesTreeParameters, parameters, cell.config, {}, {}});
          }
        }
        cells.push_back(std::move(cell));
      }
    }
  }
  return cells;
}

std::optional<std::string> memoryRefusal(const std::vector<Cell>& cells) {
  const std::optional<int64_t> available = availableMemoryBytes();
  if (!available)
    return std::nullopt;
  for (const Cell& cell : cells) {
    for (const Measurement& measurement : cell.measurements) {
      const int64_t needed =
          estimatedRunBytes(*findMap(measurement.map), measurement.parameters, cell.config);
      if (needed > *available) {
        constexpr double kGiB = 1 << 30;
        std::ostringstream reason;
        reason << std::fixed << std::setprecision(1) << "a run of " << measurement.map
               << " at key space " << cell.config.keySpace << " needs about " << needed / kGiB
               << " GiB, more than the " << *available / kGiB << " GiB available";
        return reason.str();
      }
    }
  }
  return std::nullopt;
}

bool runOnce(const MapKind& kind, const TreeParameters& parameters, const WorkloadConfig& config,
             const Options& options, RunResult& result, std::ostream& err) {
  const RunOptions runOptions{options.check, !options.noProgress};
  if (options.inProcess)
    return runCatching(kind, parameters, config, runOptions, result, err);
  return runIsolated(kind, parameters, config, runOptions, result, err);
}

bool runCell(const Options& options, Cell& cell, std::ostream& err) {
  const MapKind& dummy = *findMap("dummy");
  // Repetitions are the outer loop, so that slow drifts of a shared machine hit every map.
  for (int repetition = 0; repetition < options.repetitions; ++repetition) {
    RunResult baseline;
    if (!runOnce(dummy, options.parameters, cell.config, options, baseline, err))
      return false;
    for (Measurement& measurement : cell.measurements) {
      RunResult result;
      if (!runOnce(*findMap(measurement.map), measurement.parameters, cell.config, options, result,
                   err)) {
        return false;
      }
      measurement.runs.push_back(result);
      measurement.baselines.push_back(baseline);
    }
  }
  return true;
}

void printBestPairs(std::ostream& out, const std::vector<Row>& rows) {
  struct Best {
    const Row* row = nullptr;
    int pairs = 0;
  };
  // Keyed in the sweep's order: the workload outermost.
  std::map<std::tuple<std::string, std::string, int32_t, test::KeyDistribution>, Best> best;
  for (const Row& row : rows) {
    if (!row.usesTreeParameters || row.tooShortToTime)
      continue;
    Best& slot = best[{presetNameOf(row.config.measuredMix, row.config.maxRangeSize), row.map,
                       row.config.keySpace, row.config.distribution}];
    ++slot.pairs;
    if (slot.row == nullptr || row.medianSeconds < slot.row->medianSeconds)
      slot.row = &row;
  }
  for (const auto& [key, slot] : best) {
    if (slot.pairs < 2)
      continue;
    const Row& row = *slot.row;
    out << "best " << row.map << " (workload " << std::get<0>(key) << ", key space "
        << row.config.keySpace << ", " << test::distributionName(row.config.distribution)
        << "): k=" << row.parameters.k << " k_star=" << row.parameters.k_star << " median "
        << row.medianSeconds << " s\n";
  }
}

int runSweep(const Options& options, std::ostream& out, std::ostream& err) {
  std::vector<Cell> cells = planCells(options, selectMaps(options.maps));
  if (const std::optional<std::string> refusal = memoryRefusal(cells)) {
    err << "mapbench: " << *refusal << "\n";
    return kUsageError;
  }
  std::vector<Row> rows;
  for (Cell& cell : cells) {
    const bool ran = options.count ? countCell(options, cell, err) : runCell(options, cell, err);
    if (!ran)
      return kFailure;
    for (const Measurement& measurement : cell.measurements)
      rows.push_back(summarize(measurement));
  }

  Context context = machineContext();
  if (options.count)
    context.simulatedCaches = simulatedCachesText();
  printTable(out, context, rows);
  if (!options.count)
    printBestPairs(out, rows);
  const bool written = writeResultFiles(options.jsonPath, options.csvPath, context, rows, err);
  bool sizesOk = true;
  for (const Row& row : rows)
    sizesOk = sizesOk && row.reportedSize == row.expectedSize;
  return written && sizesOk ? kSuccess : kFailure;
}

int listMaps(std::ostream& out) {
  for (const MapKind& kind : registeredMaps())
    out << std::left << std::setw(13) << kind.name << kind.description << "\n";
  return kSuccess;
}

}  // namespace bench
