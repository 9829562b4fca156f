#include "workload/WorkloadGenerator.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <variant>

#include "util/DummyIntPushOperator.h"
#include "util/DummyMap.h"
#include "util/NumberFormat.h"
#include "workload/CommandLine.h"

namespace test {

namespace {

constexpr int32_t kValueBase = 42'000'000;
constexpr int32_t kValueRange = 1'000'000;
constexpr int32_t kMaxProbes = 10;
constexpr int32_t kProbeModulus = WorkloadGenerator::maxKey + 1;

int64_t nowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string seconds(int64_t nanos) {
  return util::formatDouble(static_cast<double>(nanos) / 1.0E9);
}

}  // namespace

WorkloadGenerator::WorkloadGenerator(int64_t seed, std::ostream& out, std::ostream& err)
    : keyBitMap(static_cast<size_t>(maxKey) + 1, 0), rand(seed), out_(out), err_(err) {}

void WorkloadGenerator::insertProbing(int32_t key, int32_t value, util::Map& map) {
  // Take the first free slot of key, key + 1, ... (wrapping past maxKey); give up after ten.
  for (int32_t j = 0; j < kMaxProbes; ++j) {
    const int32_t slot = (key + j) % kProbeModulus;
    if (!keyBitMap[static_cast<size_t>(slot)]) {
      map.insert(slot, value);
      keyBitMap[static_cast<size_t>(slot)] = 1;
      ++currentIndexSize;
      return;
    }
  }
}

void WorkloadGenerator::executeWorkload(int32_t numberOfOperations, double queryRatio,
                                        double rangeQueryRatio, double deleteRatio, util::Map& map,
                                        util::IntPushOperator& op, bool isBaseline) {
  for (int32_t i = 0; i < numberOfOperations; ++i) {
    const int32_t key = rand.nextInt(maxKey);
    const double r = rand.nextDouble();
    if (r > queryRatio) {
      const int32_t value = rand.nextInt(kValueRange) + kValueBase;  // drawn for deletes too
      const double r2 = rand.nextDouble();
      if (r2 > deleteRatio) {
        insertProbing(key, value, map);
      } else if (keyBitMap[static_cast<size_t>(key)]) {
        map.erase(key);
        keyBitMap[static_cast<size_t>(key)] = 0;
        --currentIndexSize;
      }
    } else {
      const double r3 = rand.nextDouble();
      if (r3 > rangeQueryRatio) {
        map.pointQuery(key, op);
      } else {
        const int32_t length = rand.nextInt(maxRangeSize);
        map.rangeQuery(key, std::min(key + length, maxKey), op);
      }
    }
  }

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

  std::optional<TreeMapChoice> tree;
  try {
    tree = factory(line.type, line.k, line.k_star);
  } catch (const std::invalid_argument& refusal) {
    err << "workload-generator: " << refusal.what() << '\n';
    return kExitBadArgument;
  }
  if (!tree)
    return kExitUnknownType;

  util::DummyMap dummy;
  util::Map* maps[] = {&dummy, tree->map.get()};
  int64_t elapsed[] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    WorkloadGenerator generator(kSeed, out, err);
    util::DummyIntPushOperator op;
    const bool isBaseline = i == 0;
    generator.executeWorkload(kFillOperations, 0.0, 0.5, 0.0, *maps[i], op, isBaseline);
    const int64_t t0 = nowNanos();
    generator.executeWorkload(kMeasuredOperations, 0.7, 0.6, 0.5, *maps[i], op, isBaseline);
    elapsed[i] = nowNanos() - t0;
  }

  out << "Time: " << seconds(elapsed[0]) << "sec\n";
  out << "Time: " << seconds(elapsed[1]) << "sec\n";
  out << "Total time for " << tree->className << ": " << seconds(elapsed[1] - elapsed[0])
      << "sec\n";
  out.flush();
  return kExitOk;
}

}  // namespace test
