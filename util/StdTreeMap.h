// StdTreeMap: the baseline map, a thin wrapper around std::map<int32_t, int32_t>.
//
// It keeps one value per key: inserting a present key replaces its value and size()
// counts keys. It never calls thatsallfolks(). A range query with lowKey > highKey
// delivers nothing. Under the workload, which inserts only absent keys and erases only
// present ones, it holds the same content as the multimap trees.
#ifndef UTIL_STD_TREE_MAP_H_
#define UTIL_STD_TREE_MAP_H_

#include <map>

#include "util/Map.h"

namespace util {

class StdTreeMap final : public Map {
 public:
  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) override;
  int64_t size() override;

 private:
  std::map<int32_t, int32_t> treeMap_;
};

}  // namespace util

#endif  // UTIL_STD_TREE_MAP_H_
