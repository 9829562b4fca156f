#include "bench/MapRegistry.h"

#include "bench/maps/AbslBTreeMap.h"
#include "bench/maps/StdMultimapMap.h"
#include "util/BTreeMap.h"
#include "util/CSBTreeMap.h"
#include "util/DummyMap.h"
#include "util/StdTreeMap.h"

namespace bench {

namespace {

template <class M>
std::unique_ptr<util::Map> make(const TreeParameters&) {
  return std::make_unique<M>();
}

template <class Tree>
std::unique_ptr<util::Map> makeTree(const TreeParameters& parameters) {
  return std::make_unique<Tree>(parameters.k, parameters.k_star);
}

// For adapters that count what their structure allocates.
template <class Tree>
int64_t countedBytes(util::Map& map) {
  return static_cast<Tree&>(map).allocatedBytes();
}

std::vector<MapKind> buildRegistry() {
  return {
      {"dummy", "no-op map: the driver's own cost", false, make<util::DummyMap>, nullptr},
      {"btree", "our B+-tree (k, k_star)", true, makeTree<util::BTreeMap>,
       countedBytes<util::BTreeMap>},
      {"csbtree", "our CSB+-tree (k, k_star)", true, makeTree<util::CSBTreeMap>,
       countedBytes<util::CSBTreeMap>},
      {"stdmap", "std::map, one value per key (the baseline map)", false, make<util::StdTreeMap>,
       nullptr},
      {"stdmultimap", "std::multimap", false, make<StdMultimapMap>, nullptr},
      {"abslbtree", "absl::btree_multimap", false, make<AbslBTreeMap>, nullptr},
  };
}

}  // namespace

const std::vector<MapKind>& registeredMaps() {
  static const std::vector<MapKind> registry = buildRegistry();
  return registry;
}

const MapKind* findMap(std::string_view name) {
  for (const MapKind& kind : registeredMaps()) {
    if (kind.name == name)
      return &kind;
  }
  return nullptr;
}

}  // namespace bench
