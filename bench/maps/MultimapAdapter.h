// MultimapAdapter: any std::multimap-like container template behind the Map contract.
//
// MultimapAdapter<Multimap> holds a Multimap<int32_t, int32_t, std::less<int32_t>, Alloc>,
// where Alloc is a CountingAllocator whose counter the adapter owns, so allocatedBytes()
// is the exact number of bytes the container holds. The container must offer emplace,
// erase(key), lower_bound, end and size with the meaning std::multimap gives them: every
// inserted pair is kept (equal keys in insertion order) and erase removes all mappings of
// a key. A container that names its erase unsafe_erase(key) (oneTBB's concurrent
// containers, whose erase may not run beside other operations) is erased through that.
// The adapter never calls thatsallfolks(). A range query with lowKey > highKey delivers
// nothing.
//
// Not thread-safe.
#ifndef BENCH_MAPS_MULTIMAP_ADAPTER_H_
#define BENCH_MAPS_MULTIMAP_ADAPTER_H_

#include <cstdint>
#include <functional>
#include <utility>

#include "maps/CountingAllocator.h"
#include "maps/Map.h"

namespace bench {

template <template <class...> class Multimap>
class MultimapAdapter final : public util::Map {
 public:
  MultimapAdapter() : map_(Allocator(allocatedBytes_)) {}
  MultimapAdapter(const MultimapAdapter&) = delete;
  MultimapAdapter& operator=(const MultimapAdapter&) = delete;

  void erase(int32_t key) override {
    if constexpr (requires { map_.unsafe_erase(key); })
      map_.unsafe_erase(key);
    else
      map_.erase(key);
  }

  void insert(int32_t key, int32_t value) override { map_.emplace(key, value); }

  // One descent per query: lower_bound, then a walk while the keys still match. Bounding
  // the walk with equal_range or upper_bound instead would pay for a second descent.
  void pointQuery(int32_t key, util::IntPushOperator& op) override {
    const auto end = map_.end();
    for (auto it = map_.lower_bound(key); it != end && it->first == key; ++it)
      op.pass(it->second);
  }
  void rangeQuery(int32_t lowKey, int32_t highKey, util::IntPushOperator& op) override {
    const auto end = map_.end();
    for (auto it = map_.lower_bound(lowKey); it != end && it->first <= highKey; ++it)
      op.pass(it->second);
  }
  int64_t size() override { return static_cast<int64_t>(map_.size()); }

  // Bytes the container holds, as requested from the heap.
  int64_t allocatedBytes() const { return allocatedBytes_; }

 private:
  using Allocator = util::CountingAllocator<std::pair<const int32_t, int32_t>>;

  int64_t allocatedBytes_ = 0;  // before map_, which counts into it until destroyed
  Multimap<int32_t, int32_t, std::less<int32_t>, Allocator> map_;
};

}  // namespace bench

#endif  // BENCH_MAPS_MULTIMAP_ADAPTER_H_
