// BenchmarkRunner: runs the seeded workload once against one map and measures it.
//
// A run is a fill (untimed) followed by the measured operations, drawn by the same loop and
// generator as workload-generator, so with the default configuration both programs issue
// the identical operation stream. runIsolated() does the run in a forked child process
// (bench/run/ChildProcess.h), so that every run starts with a fresh heap and its peak
// resident size belongs to it alone.
//
// Failure rule: runInProcess() throws what the map throws (a tree refusing its parameters,
// memory running out); runCatching() is the one place that catches it, and it and
// runIsolated() return false after one line on the error stream. Process state: runIsolated()
// forks; the child is in a process group of its own, and SIGINT or SIGTERM to mapbench end it
// before mapbench ends by the same signal.
#ifndef BENCH_RUN_BENCHMARK_RUNNER_H_
#define BENCH_RUN_BENCHMARK_RUNNER_H_

#include <optional>
#include <ostream>
#include <string>

#include "bench/model/MapRegistry.h"
#include "bench/model/RunResult.h"
#include "bench/model/WorkloadConfig.h"

namespace bench {

struct RunOptions {
  bool countValues = false;  // push into a counting operator (slower) instead of a no-op one
  bool showProgress = true;
};

// Whether this build marks the measured operations for valgrind (it has valgrind's headers).
bool marksMeasuredRun();

// Runs in this process; throws what the map throws.
RunResult runInProcess(const MapKind& kind, const TreeParameters& parameters,
                       const WorkloadConfig& config, const RunOptions& options);

// Runs in this process. False, after one line on `err`, when the run failed.
bool runCatching(const MapKind& kind, const TreeParameters& parameters,
                 const WorkloadConfig& config, const RunOptions& options, RunResult& result,
                 std::ostream& err);

// A run in another process reports back with one message: a tag byte, then the RunResult's
// bytes, or the failure's line. runAndSend runs in this process and writes the message to
// `fd` (true when the run succeeded and the message was written); receivedResult reads a
// whole message back: the result, or nothing and the child's failure line (empty when the
// child sent none).
bool runAndSend(int fd, const MapKind& kind, const TreeParameters& parameters,
                const WorkloadConfig& config, const RunOptions& options);
std::optional<RunResult> receivedResult(const std::string& message, std::string& failure);

// Runs in a forked child. False, after one line on `err`, when the child failed.
bool runIsolated(const MapKind& kind, const TreeParameters& parameters,
                 const WorkloadConfig& config, const RunOptions& options, RunResult& result,
                 std::ostream& err);

}  // namespace bench

#endif  // BENCH_RUN_BENCHMARK_RUNNER_H_
