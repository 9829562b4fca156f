// MapRegistry: every map that mapbench can run, by name.
//
// To benchmark a map of your own, write a util::Map adapter for it (bench/maps/AbslBTreeMap.h
// is a model) and add one entry to the table in MapRegistry.cpp.
//
// The table is built once and never changes; safe to read from any thread.
#ifndef BENCH_MODEL_MAP_REGISTRY_H_
#define BENCH_MODEL_MAP_REGISTRY_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "maps/Map.h"
#include "util/SplitPolicy.h"

namespace bench {

// Node parameters of the trees; maps without such parameters ignore them.
struct TreeParameters {
  int32_t k = 16;
  int32_t k_star = 16;
};

struct MapKind {
  std::string name;
  std::string description;
  // Whether TreeParameters change the map (only such maps take part in parameter sweeps).
  bool usesTreeParameters = false;
  // Makes the map; the trees split their full nodes as the policy says.
  std::function<std::unique_ptr<util::Map>(const TreeParameters&, util::SplitPolicy)> create;
  // The exact number of bytes the map has allocated, for maps that can tell (every map but
  // the no-op one). The report shows the peak resident size of the run beside it.
  std::function<int64_t(util::Map&)> allocatedBytes;
  // A generous upper figure for the bytes the map needs per stored entry, heap overhead
  // included, at any size and key density; for the trees at the default parameters. Use
  // bytesPerEntryEstimate(), which also covers other tree parameters.
  double estimatedBytesPerEntry = 0;
};

// A generous upper figure for the bytes `kind` needs per stored entry with `parameters`,
// for refusing runs that cannot fit in memory. Leaves with room for fewer entries than the
// default k_star cost proportionally more per entry.
double bytesPerEntryEstimate(const MapKind& kind, const TreeParameters& parameters);

// All maps, "dummy" (the no-op map every time is measured against) first.
const std::vector<MapKind>& registeredMaps();

// The map called `name`, or nullptr.
const MapKind* findMap(std::string_view name);

// Why `kind` cannot be built with `parameters` (the map's own message), or nothing. The trees
// refuse parameters by throwing; this is where that is caught.
std::optional<std::string> refusalOf(const MapKind& kind, const TreeParameters& parameters);

}  // namespace bench

#endif  // BENCH_MODEL_MAP_REGISTRY_H_
