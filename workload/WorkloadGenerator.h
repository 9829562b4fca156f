// WorkloadGenerator: the benchmark driver.
//
// main() picks a tree map from the command line, then runs one seeded workload twice: on a
// DummyMap, to measure the driver's own cost, and on the tree map. Each run is an untimed
// fill run (1,000,000 inserts) followed by a timed measured run (10,000,000 mixed inserts,
// deletes, point and range queries). After every run it prints the size it expects next to
// the size the map reports, and warns on the error stream when a tree disagrees; at the end
// it prints both measured times and their difference.
//
// One generator serves one map: its key bookkeeping (keyBitMap, currentIndexSize) and its
// random stream carry over from the fill run to the measured run. Not thread-safe.
#ifndef WORKLOAD_WORKLOAD_GENERATOR_H_
#define WORKLOAD_WORKLOAD_GENERATOR_H_

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "maps/Map.h"
#include "util/IntPushOperator.h"
#include "workload/Random.h"
#include "workload/TreeMapFactory.h"

namespace test {

class WorkloadGenerator {
 public:
  // Keys are drawn from 0 .. maxKey - 1; range queries are capped at maxKey.
  static constexpr int32_t maxKey = 10'000'000;
  // Range lengths are drawn from 0 .. maxRangeSize - 1.
  static constexpr int32_t maxRangeSize = 1'000;
  // The driver's verbosity switch, off. Nothing reads it: the program writes the same size,
  // warning and timing lines whatever it says.
  static constexpr bool verbose = false;

  static constexpr int64_t kSeed = 42;
  static constexpr int32_t kFillOperations = 1'000'000;
  static constexpr int32_t kMeasuredOperations = 10'000'000;

  // Exit statuses of main().
  static constexpr int kExitOk = 0;
  static constexpr int kExitUnknownType = 1;
  static constexpr int kExitBadArgument = 2;
  static constexpr int kExitRunFailed = 3;  // no memory for the tree, or `out` not written

  // Reports go to `out`, the size warning to `err`.
  explicit WorkloadGenerator(int64_t seed, std::ostream& out = std::cout,
                             std::ostream& err = std::cerr);

  // Runs `numberOfOperations` generated operations against `map`, handing `op` to every
  // query, then prints the size line and, unless `isBaseline`, checks the size.
  void executeWorkload(int32_t numberOfOperations, double queryRatio, double rangeQueryRatio,
                       double deleteRatio, util::Map& map, util::IntPushOperator& op,
                       bool isBaseline);

  int32_t getCurrentIndexSize() const { return currentIndexSize; }

  // The program: returns the exit status. Bad k / k_star and parameters the tree refuses
  // give one line on `err` and kExitBadArgument; an unknown type gives kExitUnknownType and
  // no output at all. A tree that runs out of memory (parameters the tree accepts but no
  // machine can hold) or results that could not be written to `out` give one line on `err`
  // and kExitRunFailed.
  static int main(const std::vector<std::string>& args, const TreeMapFactory& factory,
                  std::ostream& out, std::ostream& err);

 private:
  std::vector<uint8_t> keyBitMap;  // one byte per key 0 .. maxKey: a flat, branch-cheap lookup
  int32_t currentIndexSize = 0;
  Random rand;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace test

#endif  // WORKLOAD_WORKLOAD_GENERATOR_H_
