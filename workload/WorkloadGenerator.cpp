#include "workload/WorkloadGenerator.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <variant>

#include "maps/DummyMap.h"
#include "util/Clock.h"
#include "util/DummyIntPushOperator.h"
#include "util/NumberFormat.h"
#include "workload/CommandLine.h"
#include "workload/KeyFlags.h"
#include "workload/OperationStream.h"

namespace test {

namespace {

std::string seconds(int64_t nanos) {
  return util::formatDouble(static_cast<double>(nanos) / 1.0E9);
}

}  // namespace

WorkloadGenerator::WorkloadGenerator(int64_t seed, std::ostream& out, std::ostream& err)
    : keyBitMap(static_cast<size_t>(maxKey) + 1, 0), rand(seed), out_(out), err_(err) {}

namespace {

// Hands the generated operations to a Map, every query with the same operator.
class MapTarget {
 public:
  MapTarget(util::Map& map, util::IntPushOperator& op) : map_(map), op_(op) {}
  void insert(int32_t key, int32_t value) { map_.insert(key, value); }
  void erase(int32_t key) { map_.erase(key); }
  void pointQuery(int32_t key) { map_.pointQuery(key, op_); }
  void rangeQuery(int32_t lowKey, int32_t highKey) { map_.rangeQuery(lowKey, highKey, op_); }

 private:
  util::Map& map_;
  util::IntPushOperator& op_;
};

}  // namespace

void WorkloadGenerator::executeWorkload(int32_t numberOfOperations, double queryRatio,
                                        double rangeQueryRatio, double deleteRatio, util::Map& map,
                                        util::IntPushOperator& op, bool isBaseline) {
  MapTarget target(map, op);
  ByteKeyFlags present(keyBitMap.data());
  UniformKeys keys(maxKey);
  generateOperations(numberOfOperations, OperationMix{queryRatio, rangeQueryRatio, deleteRatio},
                     KeySpace{maxKey, maxRangeSize}, rand, present, currentIndexSize, keys, target);

  out_ << "# desired tree size:\t" << currentIndexSize
       << "\ttree size reported by implementation:\t" << map.size() << '\n';
  const int64_t reportedSize = map.size();
  if (!isBaseline && reportedSize != static_cast<int64_t>(currentIndexSize)) {
    out_.flush();
    err_ << "WARNING: TREE SIZE OF IMPLEMENTATION NOT CORRECT!\n";
    err_.flush();
  }
}

int WorkloadGenerator::main(const std::vector<std::string>& args, const TreeMapFactory& factory,
                            std::ostream& out, std::ostream& err) {
  const auto parsed = CommandLine::parse(args);
  if (const auto* problem = std::get_if<std::string>(&parsed)) {
    err << "workload-generator: " << *problem << '\n';
    return kExitBadArgument;
  }
  const CommandLine& line = std::get<CommandLine>(parsed);

  auto noMemory = [&] {
    out.flush();
    err << "workload-generator: not enough memory for a " << line.type << " with k = " << line.k
        << " and k_star = " << line.k_star << '\n';
    return kExitRunFailed;
  };
  std::optional<TreeMapChoice> tree;
  try {
    tree = factory(line.type, line.k, line.k_star);
  } catch (const std::invalid_argument& refusal) {
    err << "workload-generator: " << refusal.what() << '\n';
    return kExitBadArgument;
  } catch (const std::bad_alloc&) {
    return noMemory();
  }
  if (!tree)
    return kExitUnknownType;

  util::DummyMap dummy;
  util::Map* maps[] = {&dummy, tree->map.get()};
  int64_t elapsed[] = {0, 0};
  try {
    for (int i = 0; i < 2; ++i) {
      WorkloadGenerator generator(kSeed, out, err);
      util::DummyIntPushOperator op;
      const bool isBaseline = i == 0;
      generator.executeWorkload(kFillOperations, 0.0, 0.5, 0.0, *maps[i], op, isBaseline);
      const int64_t t0 = util::nowNanos();
      generator.executeWorkload(kMeasuredOperations, 0.7, 0.6, 0.5, *maps[i], op, isBaseline);
      elapsed[i] = util::nowNanos() - t0;
    }
  } catch (const std::bad_alloc&) {
    return noMemory();
  }

  out << "Time: " << seconds(elapsed[0]) << "sec\n";
  out << "Time: " << seconds(elapsed[1]) << "sec\n";
  out << "Total time for " << tree->className << ": " << seconds(elapsed[1] - elapsed[0])
      << "sec\n";
  out.flush();
  if (!out) {
    err << "workload-generator: could not write the results to standard output\n";
    return kExitRunFailed;
  }
  return kExitOk;
}

}  // namespace test
