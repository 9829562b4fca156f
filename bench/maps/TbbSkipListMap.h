// TbbSkipListMap: tbb::concurrent_multimap<int32_t, int32_t> (oneTBB's skip list) behind
// the Map contract, as a peer from outside the B-tree family.
//
// The adapter's contract is MultimapAdapter's: equal keys keep their insertion order (the
// skip list links a new entry after every entry of an equal key), erase removes every
// mapping of a key through unsafe_erase. Each entry is a node of its own, its pair and a
// tower of 1 to 30 next pointers (geometric, about 2 on average) allocated together; the
// head node, a full tower, is allocated with the first insert and kept until the map is
// destroyed, so an emptied map still holds it. The tower heights come from a generator
// seeded with the time, so allocatedBytes() differs slightly from run to run (about 40
// bytes per entry).
//
// Erase is slow, and that is the library's: unsafe_erase finds an entry's predecessors by
// walking from the head along the entry's top level, so it costs time linear in the
// entries before it on that level, which for the half of the entries one level high is
// every entry before it (tens of milliseconds per erase at 10^6 entries).
//
// Not thread-safe: the map runs single-threaded, as a peer for its structure. (The skip
// list itself allows concurrent inserts and lookups, but the adapter's erase and counter
// do not.)
#ifndef BENCH_MAPS_TBB_SKIP_LIST_MAP_H_
#define BENCH_MAPS_TBB_SKIP_LIST_MAP_H_

#include <oneapi/tbb/concurrent_map.h>

#include "bench/maps/MultimapAdapter.h"

namespace bench {

using TbbSkipListMap = MultimapAdapter<tbb::concurrent_multimap>;

}  // namespace bench

#endif  // BENCH_MAPS_TBB_SKIP_LIST_MAP_H_
