// Lookups on a tree (BTree, CSBTree) for tests: the values pushed, after checking that the
// lookup ended with exactly one thatsallfolks() call.
#ifndef TESTS_SUPPORT_TREE_LOOKUPS_H_
#define TESTS_SUPPORT_TREE_LOOKUPS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "testing/RecordingOperator.h"

namespace test {

template <class Tree>
std::vector<int32_t> valuesOf(Tree& tree, int32_t key) {
  RecordingOperator op;
  tree.get(key, op);
  EXPECT_EQ(op.endCalls, 1);
  return op.values;
}

template <class Tree>
std::vector<int32_t> rangeOf(Tree& tree, int32_t lowKey, int32_t highKey) {
  RecordingOperator op;
  tree.queryRange(lowKey, highKey, op);
  EXPECT_EQ(op.endCalls, 1);
  return op.values;
}

}  // namespace test

#endif  // TESTS_SUPPORT_TREE_LOOKUPS_H_
