// StdTreeMap: the baseline map, a thin wrapper around std::map<int32_t, int32_t>.
//
// It keeps one value per key: inserting a present key replaces its value and size()
// counts keys. It never calls thatsallfolks(). A range query with lowKey > highKey
// delivers nothing. Under the workload, which inserts only absent keys and erases only
// present ones, it holds the same content as the multimap trees. Its nodes come from a
// CountingAllocator, so allocatedBytes() is exact.
//
// Not thread-safe.
#ifndef UTIL_STD_TREE_MAP_H_
#define UTIL_STD_TREE_MAP_H_

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

#include "maps/CountingAllocator.h"
#include "maps/Map.h"

namespace util {

class StdTreeMap final : public Map {
 public:
  StdTreeMap();
  StdTreeMap(const StdTreeMap&) = delete;
  StdTreeMap& operator=(const StdTreeMap&) = delete;

  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) override;
  int64_t size() override;

  // Bytes the map's nodes occupy, as requested from the heap.
  int64_t allocatedBytes() const { return allocatedBytes_; }

 private:
  int64_t allocatedBytes_ = 0;  // before treeMap_, which counts into it until destroyed
  std::map<int32_t, int32_t, std::less<int32_t>,
           CountingAllocator<std::pair<const int32_t, int32_t>>>
      treeMap_;
};

}  // namespace util

#endif  // UTIL_STD_TREE_MAP_H_
