// Microbenchmarks of single map operations, for every map mapbench knows.
//
// Each map is filled with n distinct random keys (n = 1M and 4M, drawn from a key space of
// 4n) and then timed on point lookups of present keys, scans of 100 consecutive keys, and
// inserts and erases of keys that are absent or present. Inserts and erases run in batches
// whose undo is untimed, so the map keeps its size. Filled maps are reused across cases.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "bench/model/MapRegistry.h"
#include "util/DummyIntPushOperator.h"

namespace {

constexpr int64_t kBatch = 1024;

struct FilledMap {
  std::unique_ptr<util::Map> map;
  std::vector<int32_t> present;  // keys in the map, shuffled
  std::vector<int32_t> absent;   // keys not in the map, shuffled
};

// Builds (once per map and size) a map holding n random keys out of 0 .. 4n - 1.
FilledMap& filled(const bench::MapKind& kind, int64_t n) {
  static std::map<std::pair<std::string, int64_t>, FilledMap> cache;
  FilledMap& entry = cache[{kind.name, n}];
  if (entry.map)
    return entry;
  std::vector<int32_t> keys(static_cast<size_t>(4 * n));
  std::iota(keys.begin(), keys.end(), 0);
  std::mt19937 random(42);
  std::shuffle(keys.begin(), keys.end(), random);
  entry.present.assign(keys.begin(), keys.begin() + n);
  entry.absent.assign(keys.begin() + n, keys.begin() + 2 * n);
  entry.map = kind.create(bench::TreeParameters{}, util::SplitPolicy::kSequential);
  for (int32_t key : entry.present)
    entry.map->insert(key, key + 1);
  return entry;
}

void pointLookup(benchmark::State& state, const bench::MapKind* kind) {
  FilledMap& m = filled(*kind, state.range(0));
  util::DummyIntPushOperator op;
  size_t i = 0;
  for (auto _ : state) {
    m.map->pointQuery(m.present[i], op);
    if (++i == m.present.size())
      i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void rangeScan100(benchmark::State& state, const bench::MapKind* kind) {
  FilledMap& m = filled(*kind, state.range(0));
  util::DummyIntPushOperator op;
  size_t i = 0;
  for (auto _ : state) {
    // About 25 keys of the 100 are present, since a quarter of the key space is filled.
    m.map->rangeQuery(m.present[i], m.present[i] + 99, op);
    if (++i == m.present.size())
      i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void insert(benchmark::State& state, const bench::MapKind* kind) {
  FilledMap& m = filled(*kind, state.range(0));
  size_t next = 0;
  for (auto _ : state) {
    const size_t first = next;
    for (int64_t j = 0; j < kBatch; ++j) {
      m.map->insert(m.absent[next], 1);
      next = (next + 1) % m.absent.size();
    }
    state.PauseTiming();
    for (size_t j = first; j != next; j = (j + 1) % m.absent.size())
      m.map->erase(m.absent[j]);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void erase(benchmark::State& state, const bench::MapKind* kind) {
  FilledMap& m = filled(*kind, state.range(0));
  size_t next = 0;
  for (auto _ : state) {
    const size_t first = next;
    for (int64_t j = 0; j < kBatch; ++j) {
      m.map->erase(m.present[next]);
      next = (next + 1) % m.present.size();
    }
    state.PauseTiming();
    for (size_t j = first; j != next; j = (j + 1) % m.present.size()) {
      m.map->insert(m.present[j], m.present[j] + 1);
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (const bench::MapKind& kind : bench::registeredMaps()) {
    if (kind.name == "dummy")
      continue;
    const auto add = [&](const char* name,
                         void (*function)(benchmark::State&, const bench::MapKind*)) {
      benchmark::RegisterBenchmark((std::string(name) + "/" + kind.name).c_str(), function, &kind)
          ->Arg(1 << 20)
          ->Arg(1 << 22);
    };
    add("PointLookup", pointLookup);
    add("RangeScan100", rangeScan100);
    // Both undo or time batches of erases, which the skip list performs by walking its list
    // from the head: hours at these sizes.
    if (kind.name != "tbbskiplist") {
      add("Insert", insert);
      add("Erase", erase);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
