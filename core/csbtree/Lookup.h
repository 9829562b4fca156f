// Lookup: the read paths of the CSB+-tree (point lookups and range scans), from any group down.
//
// One loop over the levels, with no call per level: per node group it counts the node's keys
// below the key (KeySearch.h, inlined), reads the child group's handle from the node's slot
// and goes on to the named member of that group. It ends in a leaf, which it searches once.
//
// The node right above the leaf also gives the separator right of the leaf, unless the leaf
// is that node's last child: every entry after the leaf, in its group and along the chain, is
// >= that separator. A key below it is settled by the leaf alone, present or absent, and a
// scan whose high key lies below it ends in the leaf; neither reads the leaf's size, its
// group's header or a later leaf. What the separator does not settle (a key equal to it, a
// leaf without one, the largest int, a lookup that starts at a leaf group) goes the general
// way: LeafGroupArrayMap's lookups, carried along the chain of leaf groups.
//
// Scans leave the first leaf by its chain: the leaves after it, then the following groups,
// each from its first entry (every entry after the first leaf is >= the low key), until an
// entry above the high key. They search only the first leaf.
//
// Results are those of the leaf groups' walk (LeafGroup): the values in key order and, within
// a key, in stored order, then one thatsallfolks() call. Not thread-safe.
#ifndef CORE_CSBTREE_LOOKUP_H_
#define CORE_CSBTREE_LOOKUP_H_

#include <cstdint>

#include "core/csbtree/GroupStore.h"
#include "util/IntPushOperator.h"

namespace core::csbtree {

// Pushes every value of `key` stored below member `index` of `group` (a node group or a leaf
// group) or further along the chain, then calls op.thatsallfolks() once.
void lookupValues(GroupStore& store, GroupHandle group, int32_t index, int32_t key,
                  util::IntPushOperator& op);

// Pushes the values of every key in [lowKey, highKey], from the first leaf below member
// `index` of `group` that may hold lowKey on along the chain, then calls op.thatsallfolks()
// once. Nothing is pushed when lowKey > highKey.
void lookupRange(GroupStore& store, GroupHandle group, int32_t index, int32_t lowKey,
                 int32_t highKey, util::IntPushOperator& op);

}  // namespace core::csbtree

#endif  // CORE_CSBTREE_LOOKUP_H_
