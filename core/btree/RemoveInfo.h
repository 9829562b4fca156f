// RemoveInfo: a record describing how a removal might restructure nodes.
//
// The tree never merges or redistributes nodes, so no operation creates or reads one; the
// record is kept as the vocabulary for such a rebalancing removal. Plain data.
#ifndef CORE_BTREE_REMOVE_INFO_H_
#define CORE_BTREE_REMOVE_INFO_H_

#include <cstdint>

namespace core::btree {

class RemoveInfo {
 public:
  RemoveInfo(int32_t removedValue, bool merge, int32_t pivot, bool redistribution,
             bool operationWithNext);

  bool merge;              // the node was merged with a neighbour
  bool operationWithNext;  // the neighbour involved is the right one
  int32_t pivot;           // the separator that changed
  bool redistribution;     // entries moved between neighbours instead of a merge
  int32_t removedValue;    // the value that was removed
};

}  // namespace core::btree

#endif  // CORE_BTREE_REMOVE_INFO_H_
