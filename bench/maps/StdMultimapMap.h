// StdMultimapMap: std::multimap<int32_t, int32_t> behind the Map contract, as a peer.
//
// The adapter's contract is MultimapAdapter's. Not thread-safe.
#ifndef BENCH_MAPS_STD_MULTIMAP_MAP_H_
#define BENCH_MAPS_STD_MULTIMAP_MAP_H_

#include <map>

#include "bench/maps/MultimapAdapter.h"

namespace bench {

using StdMultimapMap = MultimapAdapter<std::multimap>;

}  // namespace bench

#endif  // BENCH_MAPS_STD_MULTIMAP_MAP_H_
