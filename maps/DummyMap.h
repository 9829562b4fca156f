// DummyMap: a map that does nothing.
//
// The workload runs against it first so that the cost of the driver itself (random draws,
// bookkeeping, the virtual call) can be subtracted from a real map's time. Every operation
// returns at once, the operator is never called, and size() is always -1.
#ifndef UTIL_DUMMY_MAP_H_
#define UTIL_DUMMY_MAP_H_

#include "maps/Map.h"

namespace util {

class DummyMap final : public Map {
 public:
  void erase(int32_t key) override;
  void insert(int32_t key, int32_t value) override;
  void pointQuery(int32_t key, IntPushOperator& op) override;
  void rangeQuery(int32_t lowKey, int32_t highKey, IntPushOperator& op) override;
  int64_t size() override;
};

}  // namespace util

#endif  // UTIL_DUMMY_MAP_H_
