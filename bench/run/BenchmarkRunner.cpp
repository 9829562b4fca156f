#include "bench/run/BenchmarkRunner.h"

#include <sys/resource.h>
#include <unistd.h>

// valgrind's client requests: a few instructions that do nothing outside valgrind. A build
// without valgrind's headers has no marks, and cannot count.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define MAPBENCH_MARKS_MEASURED_RUN 1
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_TOGGLE_COLLECT
#define MAPBENCH_MARKS_MEASURED_RUN 0
#endif

#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bench/model/ExitStatus.h"
#include "bench/run/ChildProcess.h"
#include "bench/run/HugePages.h"
#include "bench/run/LatencySampler.h"
#include "bench/run/ProgressBar.h"
#include "util/Clock.h"
#include "util/DummyIntPushOperator.h"
#include "workload/KeyChoosers.h"
#include "workload/KeyFlags.h"
#include "workload/PointKeys.h"
#include "workload/Random.h"

namespace bench {

namespace {

class CountingOperator final : public util::IntPushOperator {
 public:
  explicit CountingOperator(CheckSums& sums) : sums_(sums) {}
  void pass(int32_t value) override {
    ++sums_.valuesPushed;
    sums_.valueSum += value;
  }
  void pass(std::span<const int32_t> values) override {
    for (int32_t value : values)
      pass(value);
  }
  void thatsallfolks() override { ++sums_.endOfQuery; }

 private:
  CheckSums& sums_;
};

// Receives the generated operations: forwards them to the map, counts them, times one in
// `sampleEvery` and reports progress.
class MeasuringTarget {
 public:
  MeasuringTarget(util::Map& map, util::IntPushOperator& op, RunResult& result,
                  LatencySampler* sampler, uint32_t sampleMask, ProgressBar& progress,
                  int64_t progressBase)
      : map_(map),
        op_(op),
        result_(result),
        sampler_(sampler),
        sampleMask_(sampleMask),
        progress_(progress),
        progressBase_(progressBase) {}

  void insert(int32_t key, int32_t value) {
    run(kInsert, [&] { map_.insert(key, value); });
  }
  void erase(int32_t key) {
    run(kErase, [&] { map_.erase(key); });
  }
  void pointQuery(int32_t key) {
    ++result_.check.queries;
    run(kPointQuery, [&] { map_.pointQuery(key, op_); });
  }
  void rangeQuery(int32_t lowKey, int32_t highKey) {
    ++result_.check.queries;
    run(kRangeQuery, [&] { map_.rangeQuery(lowKey, highKey, op_); });
  }

 private:
  template <class Operation>
  void run(OperationType type, Operation operation) {
    ++result_.operations[type];
    const int64_t count = ++done_;
    if ((count & 0xFFFF) == 0)
      progress_.update(progressBase_ + count);
    if (sampler_ != nullptr && (static_cast<uint32_t>(count) & sampleMask_) == 0) {
      const int64_t start = util::nowNanos();
      operation();
      sampler_->add(type, util::nowNanos() - start);
    } else {
      operation();
    }
  }

  util::Map& map_;
  util::IntPushOperator& op_;
  RunResult& result_;
  LatencySampler* sampler_;
  uint32_t sampleMask_;
  ProgressBar& progress_;
  int64_t progressBase_;
  int64_t done_ = 0;  // operations so far in this run
};

// Calls body(target) where the slots are the keys (slotKeys == nullptr), else body with a
// target that looks every slot up in slotKeys: a run without a key set pays nothing for it.
template <class Body>
void withSlotKeys(const int32_t* slotKeys, MeasuringTarget& target, Body&& body) {
  if (slotKeys == nullptr) {
    body(target);
    return;
  }
  test::SlotKeyTarget<MeasuringTarget> translated(slotKeys, target);
  body(translated);
}

int64_t peakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<int64_t>(usage.ru_maxrss) * 1024;  // Linux reports kilobytes
}

// Calls body(present, pointKeys) with the driver's record of the present keys and the policy
// that picks the keys of point queries (workload/PointKeys.h), over the slots
// 0 .. keySpace (slot keySpace is for the uniform probe).
template <class Body>
void withKeyFlags(const WorkloadConfig& config, Body&& body) {
  const int64_t slots = int64_t{config.keySpace} + 1;
  if (config.hitRatio) {
    // The bits and a count of every 512 keys, to draw present keys uniformly.
    test::PresentKeySample present(slots);
    body(present, test::HitRatioPointKeys(*config.hitRatio));
    return;
  }
  // One bit per key: a billion keys take 125 MB.
  test::BitKeyFlags present(slots);
  body(present, test::DrawnPointKeys{});
}

bool writeAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

constexpr char kResultTag = 'R';
constexpr char kFailureTag = 'E';

}  // namespace

bool marksMeasuredRun() {
  return MAPBENCH_MARKS_MEASURED_RUN != 0;
}

RunResult runInProcess(const MapKind& kind, const TreeParameters& parameters,
                       const WorkloadConfig& config, const RunOptions& options) {
  RunResult result;
  std::unique_ptr<util::Map> map = kind.create(parameters, config.splitPolicy);
  CountingOperator counting(result.check);
  util::DummyIntPushOperator ignoring;
  util::IntPushOperator& op =
      options.countValues ? static_cast<util::IntPushOperator&>(counting) : ignoring;

  test::Random rand(config.seed);
  int32_t currentIndexSize = 0;
  const test::KeySpace space{config.keySpace, config.maxRangeSize};
  ProgressBar progress(kind.name,
                       int64_t{config.fillOperations} + int64_t{config.measuredOperations},
                       options.showProgress);
  LatencySampler sampler;
  const bool sampling = config.sampleEvery > 0;

  const int32_t* slotKeys = config.keySet ? config.keySet->keys.data() : nullptr;
  if (config.keySet && std::ssize(config.keySet->keys) != int64_t{config.keySpace} + 1)
    throw std::invalid_argument("the key set does not match the key space");

  withKeyFlags(config, [&](auto& present, const auto& pointKeys) {
    test::withKeyChoosers(
        config.distribution, config.keySpace, config.theta, [&](auto& fillKeys, auto& keys) {
          // The fill run is neither timed nor sampled.
          RunResult fillCounts;
          MeasuringTarget fill(*map, op, fillCounts, nullptr, 0, progress, 0);
          withSlotKeys(slotKeys, fill, [&](auto& target) {
            test::generateOperations(config.fillOperations, config.fillMix, space, rand, present,
                                     currentIndexSize, fillKeys, target);
          });
          result.check.queries += fillCounts.check.queries;

          if (sampling)
            sampler.setClockCost(clockCostNanos());
          MeasuringTarget measured(*map, op, result, sampling ? &sampler : nullptr,
                                   static_cast<uint32_t>(config.sampleEvery - 1), progress,
                                   config.fillOperations);
          const int64_t start = util::nowNanos();
          CALLGRIND_START_INSTRUMENTATION;
          CALLGRIND_TOGGLE_COLLECT;
          withSlotKeys(slotKeys, measured, [&](auto& target) {
            test::generateOperations(config.measuredOperations, config.measuredMix, space, rand,
                                     present, currentIndexSize, keys, pointKeys, target);
          });
          CALLGRIND_TOGGLE_COLLECT;
          CALLGRIND_STOP_INSTRUMENTATION;
          result.measuredNanos = util::nowNanos() - start;
        });
  });

  for (int type = 0; type < kOperationTypes; ++type) {
    result.latency[type] = sampler.summarize(static_cast<OperationType>(type));
  }
  result.expectedSize = currentIndexSize;
  result.reportedSize = map->size();
  if (kind.allocatedBytes)
    result.allocatedBytes = kind.allocatedBytes(*map);
  result.peakResidentBytes = peakResidentBytes();
  result.hugePageBytes = hugePageBytes();
  result.clockCostNanos = sampler.clockCost();
  return result;
}

bool runCatching(const MapKind& kind, const TreeParameters& parameters,
                 const WorkloadConfig& config, const RunOptions& options, RunResult& result,
                 std::ostream& err) {
  try {
    result = runInProcess(kind, parameters, config, options);
    return true;
  } catch (const std::exception& failure) {
    err << "mapbench: the run of " << kind.name << " failed: " << failure.what() << "\n";
    return false;
  }
}

bool runAndSend(int fd, const MapKind& kind, const TreeParameters& parameters,
                const WorkloadConfig& config, const RunOptions& options) {
  RunResult result;
  std::ostringstream failure;
  if (runCatching(kind, parameters, config, options, result, failure))
    return writeAll(fd, &kResultTag, 1) && writeAll(fd, &result, sizeof result);
  const std::string line = lastLine(failure.str());
  if (writeAll(fd, &kFailureTag, 1))
    writeAll(fd, line.data(), line.size());
  return false;
}

std::optional<RunResult> receivedResult(const std::string& message, std::string& failure) {
  failure.clear();
  if (message.size() == 1 + sizeof(RunResult) && message[0] == kResultTag) {
    RunResult result;
    std::memcpy(&result, message.data() + 1, sizeof result);
    return result;
  }
  if (!message.empty() && message[0] == kFailureTag)
    failure = message.substr(1);
  return std::nullopt;
}

bool runIsolated(const MapKind& kind, const TreeParameters& parameters,
                 const WorkloadConfig& config, const RunOptions& options, RunResult& result,
                 std::ostream& err) {
  ChildRequest request;
  request.body = [&] {
    return runAndSend(STDOUT_FILENO, kind, parameters, config, options) ? kSuccess : kFailure;
  };
  request.keepStandardError = true;  // the progress bar
  const ChildRun run = runChild(request);
  std::string failure;
  const std::optional<RunResult> received = receivedResult(run.out, failure);
  if (!run.ok || !received) {
    if (!failure.empty())
      err << failure << "\n";  // the child's own line
    else
      err << "mapbench: the run of " << kind.name
          << " failed: " << (run.ok ? "it sent no result" : run.failure) << "\n";
    return false;
  }
  result = *received;
  return true;
}

}  // namespace bench
