#include "maps/DummyMap.h"

namespace util {

void DummyMap::erase(int32_t) {}
void DummyMap::insert(int32_t, int32_t) {}
void DummyMap::pointQuery(int32_t, IntPushOperator&) {}
void DummyMap::rangeQuery(int32_t, int32_t, IntPushOperator&) {}
int64_t DummyMap::size() {
  return -1;
}

}  // namespace util
