#include "bench/model/Results.h"

#include <algorithm>

#include "bench/model/Statistics.h"

namespace bench {

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

void summarizeCounts(const Measurement& measurement, Row& row) {
  if (measurement.runs.empty() || !measurement.runs.front().counts.counted)
    return;
  row.counted = true;
  // A counted run's time is valgrind's, not the map's: nothing was timed.
  row.tooShortToTime = false;
  const double operations =
      static_cast<double>(std::max<int32_t>(measurement.config.measuredOperations, 1));
  std::vector<double> instructions, d1, ll;
  for (size_t i = 0; i < measurement.runs.size(); ++i) {
    const EventCounts& run = measurement.runs[i].counts;
    const EventCounts& baseline = measurement.baselines[i].counts;
    instructions.push_back(static_cast<double>(run.instructions - baseline.instructions) /
                           operations);
    d1.push_back(static_cast<double>(run.d1Misses - baseline.d1Misses) / operations);
    ll.push_back(static_cast<double>(run.llMisses - baseline.llMisses) / operations);
  }
  row.instructionsPerOperation = median(instructions);
  row.d1MissesPerOperation = median(d1);
  row.llMissesPerOperation = median(ll);
}

}  // namespace bench
