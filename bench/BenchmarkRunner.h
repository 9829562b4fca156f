// BenchmarkRunner: runs the seeded workload once against one map and measures it.
//
// A run is a fill (untimed) followed by the measured operations, drawn by the same loop and
// generator as workload-generator, so with the default configuration both programs issue
// the identical operation stream. runIsolated() does the run in a forked child process, so
// that every run starts with a fresh heap and its peak resident size belongs to it alone.
#ifndef BENCH_BENCHMARK_RUNNER_H_
#define BENCH_BENCHMARK_RUNNER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bench/LatencySampler.h"
#include "bench/MapRegistry.h"
#include "util/SplitPolicy.h"
#include "workload/KeyDistribution.h"
#include "workload/KeyFile.h"
#include "workload/OperationStream.h"

namespace bench {

struct WorkloadConfig {
  int32_t fillOperations = 1'000'000;
  int32_t measuredOperations = 10'000'000;
  int32_t keySpace = 10'000'000;
  int32_t maxRangeSize = 1'000;
  test::OperationMix fillMix{0.0, 0.5, 0.0};
  test::OperationMix measuredMix{0.7, 0.6, 0.5};
  int64_t seed = 42;
  // How the keys are chosen (workload/KeyChoosers.h): the measured run's keys, and for
  // kLatest the fill's too.
  test::KeyDistribution distribution = test::KeyDistribution::kUniform;
  double theta = test::kDefaultTheta;  // Zipf exponent of kZipf and kLatest
  int32_t sampleEvery = 64;            // a power of two; 0 turns latency sampling off
  // The keys of the operations: none, the slots themselves; otherwise slot i stands for
  // keySet->keys[i], and keySpace is keySet->keys.size() - 1 (the slots run 0 .. keySpace).
  std::shared_ptr<const test::KeyFile> keySet;
  std::string keyFile;    // with a key set: the path it was read from, as given
  std::string keyFormat;  // its format (sosd32, sosd64, text); empty: from the file's name
  // Where the trees split full nodes (util/SplitPolicy.h); the other maps ignore it.
  util::SplitPolicy splitPolicy = util::SplitPolicy::kSequential;
  // Every field an option sets is described once in bench/WorkloadFields.h.
};

// What pushed values a map delivered over both runs, for cross-checking maps.
struct CheckSums {
  int64_t valuesPushed = 0;
  int64_t valueSum = 0;
  int64_t queries = 0;     // point and range queries issued by the driver
  int64_t endOfQuery = 0;  // thatsallfolks() calls received (the trees make one per query)
};

// What valgrind's cache simulation counted in the measured run (bench/Counting.h); all zero
// for a run that was not counted.
struct EventCounts {
  bool counted = false;
  int64_t instructions = 0;
  int64_t d1Misses = 0;  // first-level data cache, reads and writes
  int64_t llMisses = 0;  // last-level cache, data reads and writes
};

// Plain data, so that a child process can hand it to its parent through a pipe.
struct RunResult {
  int64_t measuredNanos = 0;
  int64_t expectedSize = 0;  // keys the driver's bookkeeping says are present
  int64_t reportedSize = 0;  // the map's size()
  int64_t operations[kOperationTypes] = {};
  LatencySummary latency[kOperationTypes] = {};
  int64_t peakResidentBytes = 0;
  int64_t allocatedBytes = -1;  // exact allocation when the map reports it, else -1
  int64_t hugePageBytes = 0;    // anonymous memory in huge pages at the end of the run
  int64_t clockCostNanos = 0;   // taken from the sampled latencies (0 when none were sampled)
  CheckSums check;
  EventCounts counts;
};

struct RunOptions {
  bool countValues = false;  // push into a counting operator (slower) instead of a no-op one
  bool showProgress = true;
};

// Whether this build marks the measured operations for valgrind (it has valgrind's headers).
bool marksMeasuredRun();

// Runs in this process.
RunResult runInProcess(const MapKind& kind, const TreeParameters& parameters,
                       const WorkloadConfig& config, const RunOptions& options);

// A run in another process reports back with one message: a tag byte, then the RunResult's
// bytes, or the failure's text. runAndSend runs in this process and writes the message to
// `fd` (true when the run succeeded and the message was written); receivedResult reads a
// whole message back: the result, or nothing and the child's failure text (empty when the
// child sent none).
bool runAndSend(int fd, const MapKind& kind, const TreeParameters& parameters,
                const WorkloadConfig& config, const RunOptions& options);
std::optional<RunResult> receivedResult(const std::string& message, std::string& failure);

// Runs in a forked child; an error message when the child failed.
std::optional<RunResult> runIsolated(const MapKind& kind, const TreeParameters& parameters,
                                     const WorkloadConfig& config, const RunOptions& options,
                                     std::string& error);

}  // namespace bench

#endif  // BENCH_BENCHMARK_RUNNER_H_
