#include "core/btree/RemoveInfo.h"

namespace core::btree {

RemoveInfo::RemoveInfo(int32_t removedValue, bool merge, int32_t pivot, bool redistribution,
                       bool operationWithNext)
    : merge(merge),
      operationWithNext(operationWithNext),
      pivot(pivot),
      redistribution(redistribution),
      removedValue(removedValue) {}

}  // namespace core::btree
