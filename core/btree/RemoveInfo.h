// RemoveInfo: the outcome record a removal that rebalances nodes would report to its caller.
//
// Removal in this tree never merges or redistributes nodes and reports nothing, so no
// operation creates or reads one; the record keeps the shape such a removal would use:
// whether the node merged with a neighbour or took entries from one, whether that
// neighbour is the next one, the separator concerned, and the value removed.
// A plain value; thread-safe to copy.
#ifndef CORE_BTREE_REMOVE_INFO_H_
#define CORE_BTREE_REMOVE_INFO_H_

#include <cstdint>

namespace core::btree {

class RemoveInfo {
 public:
  RemoveInfo(int32_t removedValue, bool merge, int32_t pivot, bool operationWithNext,
             bool redistribution)
      : merge(merge),
        operationWithNext(operationWithNext),
        pivot(pivot),
        redistribution(redistribution),
        removedValue(removedValue) {}

  bool merge;              // the node merged with a neighbour
  bool operationWithNext;  // the neighbour is the next node, not the previous one
  int32_t pivot;           // the separator between the node and that neighbour
  bool redistribution;     // entries moved between the node and that neighbour
  int32_t removedValue;    // the value of the removed mapping
};

}  // namespace core::btree

#endif  // CORE_BTREE_REMOVE_INFO_H_
