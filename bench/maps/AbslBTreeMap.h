// AbslBTreeMap: absl::btree_multimap<int32_t, int32_t> behind the Map contract.
//
// The strongest general-purpose peer: a cache-friendly B-tree that, like our trees, keeps
// every inserted pair (equal keys in insertion order).
//
// This file is also the model for adding a map of your own to mapbench: a container
// template with std::multimap's interface and template parameters needs only this alias;
// any other container needs a small util::Map implementation like MultimapAdapter or
// JudyMap. Then register it with one line in bench/model/MapRegistry.cpp.
#ifndef BENCH_MAPS_ABSL_BTREE_MAP_H_
#define BENCH_MAPS_ABSL_BTREE_MAP_H_

#include <absl/container/btree_map.h>

#include "bench/maps/MultimapAdapter.h"

namespace bench {

using AbslBTreeMap = MultimapAdapter<absl::btree_multimap>;

}  // namespace bench

#endif  // BENCH_MAPS_ABSL_BTREE_MAP_H_
