#include "bench/Sweep.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "bench/KeySetOption.h"
#include "bench/Options.h"
#include "bench/WorkloadFields.h"
#include "workload/CommandLine.h"

namespace bench {

namespace {

// The driver's own memory besides its key flags: the process, the latency samples, slack.
constexpr int64_t kDriverBytes = int64_t{256} << 20;

}  // namespace

std::optional<TreeParameters> parseParameterPair(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return std::nullopt;
  const std::optional<int32_t> k = test::parseInt32(text.substr(0, colon));
  const std::optional<int32_t> kStar = test::parseInt32(text.substr(colon + 1));
  if (!k || !kStar)
    return std::nullopt;
  return TreeParameters{*k, *kStar};
}

std::vector<TreeParameters> parameterSets(const Options& options) {
  std::vector<TreeParameters> sets;
  for (const std::string& pair : options.parameterPairs) {
    if (const std::optional<TreeParameters> parameters = parseParameterPair(pair))
      sets.push_back(*parameters);
  }
  for (int32_t k : options.parameterGrid) {
    for (int32_t kStar : options.parameterGrid)
      sets.push_back({k, kStar});
  }
  if (sets.empty())
    sets.push_back(options.parameters);
  return sets;
}

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

std::optional<std::string> refusalOf(const MapKind& kind, const TreeParameters& parameters) {
  try {
    kind.create(parameters, util::SplitPolicy::kSequential);
  } catch (const std::exception& refusal) {
    return std::string(refusal.what());
  }
  return std::nullopt;
}

int64_t estimatedRunBytes(const MapKind& kind, const TreeParameters& parameters,
                          const WorkloadConfig& config) {
  const test::OperationMix& mix = config.measuredMix;
  const double inserts = config.fillOperations + static_cast<double>(config.measuredOperations) *
                                                     (1 - mix.queryRatio) * (1 - mix.deleteRatio);
  const double entries = std::min(inserts, static_cast<double>(config.keySpace));
  return static_cast<int64_t>(entries * bytesPerEntryEstimate(kind, parameters)) +
         config.keySpace / 8 + keySetBytes(config) + kDriverBytes;
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

std::vector<Cell> planCells(const Options& options, const std::vector<const MapKind*>& kinds) {
  std::vector<int32_t> keySpaces = options.keySpaces;
  if (keySpaces.empty())
    keySpaces.push_back(options.config.keySpace);
  const std::vector<TreeParameters> parameterList = parameterSets(options);

  std::vector<Cell> cells;
  for (int32_t keySpace : keySpaces) {
    for (test::KeyDistribution distribution : options.distributions) {
      Cell cell{scaledTo(options.config, keySpace, options.opsGiven), {}};
      cell.config.distribution = distribution;
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
  if (options.inProcess) {
    try {
      result = runInProcess(kind, parameters, config, runOptions);
      return true;
    } catch (const std::exception& failure) {
      err << "mapbench: the run of " << kind.name << " failed: " << failure.what() << "\n";
      return false;
    }
  }
  std::string error;
  const std::optional<RunResult> isolated =
      runIsolated(kind, parameters, config, runOptions, error);
  if (!isolated) {
    err << "mapbench: " << error << "\n";
    return false;
  }
  result = *isolated;
  return true;
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

}  // namespace bench
