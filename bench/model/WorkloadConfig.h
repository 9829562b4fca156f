// WorkloadConfig: the seeded workload of one run, as plain data.
//
// A run is an untimed fill followed by the measured operations; the configuration says how
// many of each, the mixes, the key space and how keys are chosen, the seed and the latency
// sampling. Every field an option sets is described once in bench/model/WorkloadFields.h.
// A configuration is copied freely; its key set is shared and never changes.
#ifndef BENCH_MODEL_WORKLOAD_CONFIG_H_
#define BENCH_MODEL_WORKLOAD_CONFIG_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "util/SplitPolicy.h"
#include "workload/KeyChoosers.h"
#include "workload/KeyDistribution.h"
#include "workload/KeyFile.h"
#include "workload/OperationStream.h"

namespace bench {

// The largest key space a workload may have: its slots 0 .. key space are int32 values.
inline constexpr int32_t kMaxKeySpace = test::kMaxKeySpace;

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
  // The share of point queries that ask for a present key (workload/PointKeys.h); none: the
  // drawn key, present or not, as the workload's own stream does.
  std::optional<double> hitRatio;
  // Where the trees split full nodes (util/SplitPolicy.h); the other maps ignore it.
  util::SplitPolicy splitPolicy = util::SplitPolicy::kSequential;
};

}  // namespace bench

#endif  // BENCH_MODEL_WORKLOAD_CONFIG_H_
