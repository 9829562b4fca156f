#include "bench/model/MapRegistry.h"

#include <algorithm>
#include <exception>

#include "bench/maps/AbslBTreeMap.h"
#include "bench/maps/JudyMap.h"
#include "bench/maps/StdMultimapMap.h"
#include "bench/maps/TbbSkipListMap.h"
#include "maps/BTreeMap.h"
#include "maps/CSBTreeMap.h"
#include "maps/DummyMap.h"
#include "maps/StdTreeMap.h"

namespace bench {

namespace {

template <class M>
std::unique_ptr<util::Map> make(const TreeParameters&, util::SplitPolicy) {
  return std::make_unique<M>();
}

template <class Tree>
std::unique_ptr<util::Map> makeTree(const TreeParameters& parameters, util::SplitPolicy policy) {
  return std::make_unique<Tree>(parameters.k, parameters.k_star, policy);
}

// For adapters that count what their structure allocates.
template <class M>
int64_t countedBytes(util::Map& map) {
  return static_cast<M&>(map).allocatedBytes();
}

std::vector<MapKind> buildRegistry() {
  // name, description, uses k/k_star, factory, exact allocation, estimated bytes per entry.
  // The estimates are about 1.4 to 1.6 times the largest figure measured with random,
  // ascending and sparse keys (resident size for the heap's overhead, exact allocation).
  return {
      {"dummy", "no-op map: the driver's own cost", false, make<util::DummyMap>, nullptr, 0},
      {"btree", "our B+-tree (k, k_star)", true, makeTree<util::BTreeMap>,
       countedBytes<util::BTreeMap>, 32},
      {"csbtree", "our CSB+-tree (k, k_star)", true, makeTree<util::CSBTreeMap>,
       countedBytes<util::CSBTreeMap>, 32},
      {"stdmap", "std::map, one value per key (the baseline map)", false, make<util::StdTreeMap>,
       countedBytes<util::StdTreeMap>, 64},
      {"stdmultimap", "std::multimap", false, make<StdMultimapMap>, countedBytes<StdMultimapMap>,
       64},
      {"abslbtree", "absl::btree_multimap", false, make<AbslBTreeMap>, countedBytes<AbslBTreeMap>,
       16},
      {"judy", "Judy array (JudyL radix tree)", false, make<JudyMap>, countedBytes<JudyMap>, 32},
      {"tbbskiplist", "tbb::concurrent_multimap (oneTBB skip list)", false, make<TbbSkipListMap>,
       countedBytes<TbbSkipListMap>, 80},
  };
}

}  // namespace

const std::vector<MapKind>& registeredMaps() {
  static const std::vector<MapKind> registry = buildRegistry();
  return registry;
}

double bytesPerEntryEstimate(const MapKind& kind, const TreeParameters& parameters) {
  const int32_t defaultLeaf = TreeParameters{}.k_star;
  if (!kind.usesTreeParameters || parameters.k_star >= defaultLeaf)
    return kind.estimatedBytesPerEntry;
  return kind.estimatedBytesPerEntry * defaultLeaf / std::max(parameters.k_star, 1);
}

const MapKind* findMap(std::string_view name) {
  for (const MapKind& kind : registeredMaps()) {
    if (kind.name == name)
      return &kind;
  }
  return nullptr;
}

std::optional<std::string> refusalOf(const MapKind& kind, const TreeParameters& parameters) {
  try {
    kind.create(parameters, util::SplitPolicy::kSequential);
  } catch (const std::exception& refusal) {
    return std::string(refusal.what());
  }
  return std::nullopt;
}

}  // namespace bench
