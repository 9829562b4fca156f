// Drives the B+-tree and a reference multimap with the same seeded random operations and
// compares every result. MAPBENCH_LONG_TESTS=1 runs many more seeds and operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "core/btree/BTree.h"
#include "core/btree/BTreeConstants.h"
#include "core/btree/InternalNode.h"
#include "core/btree/NodePool.h"
#include "maps/BTreeMap.h"
#include "testing/ModelMultimap.h"
#include "testing/RecordingOperator.h"
#include "tests/support/LongTests.h"
#include "tests/support/OperationGenerator.h"

namespace core::btree {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

int64_t comparedOperations = 0;

// Prints how many operations the differential tests compared, once at the end.
class ComparedOperationsReport : public ::testing::Environment {
 public:
  void TearDown() override {
    if (comparedOperations > 0) {
      std::cout << "[ DIFFERENTIAL ] " << comparedOperations << " operations compared ("
                << (test::longTestsRequested() ? "long" : "default") << " run)\n";
    }
  }
};
const auto* const report = ::testing::AddGlobalTestEnvironment(new ComparedOperationsReport);

struct Parameters {
  int32_t k;
  int32_t k_star;
};

class BTreeDifferentialTest : public ::testing::TestWithParam<Parameters> {
 protected:
  // The long run is sized to take a few minutes under the sanitizers.
  int seeds() const { return test::longTestsRequested() ? 12 : 4; }
  int operationsPerStream() const { return test::longTestsRequested() ? 20000 : 8000; }
};

// The tree's operations through the node contract alone, on nodes of its own: every call
// goes to the root, and a root split grows a new root, as the tree does it.
class ThroughTheRoot {
 public:
  ThroughTheRoot(int32_t k, int32_t k_star) : pool_(k, k_star), root_(pool_.newLeaf()) {}

  void add(int32_t key, int32_t value) {
    if (std::optional<SplitInfo> split = root_.add(key, value, kMin, kMax, nullptr))
      root_ = pool_.newInternalNode(root_, split->pivot, split->rightNode);
  }
  void remove(int32_t key, int32_t value) { root_.remove(key, value, kMin, kMax); }
  void get(int32_t key, util::IntPushOperator& op) { root_.get(key, op); }
  void queryRange(int32_t low, int32_t high, util::IntPushOperator& op) {
    root_.queryRange(low, high, op);
  }

 private:
  NodePool pool_;
  BTreeNode root_;
};

void expectSame(const test::RecordingOperator& op, const std::vector<int32_t>& expected,
                const std::string& what) {
  ASSERT_EQ(op.values, expected) << what;
  ASSERT_EQ(op.endCalls, 1) << what;
  ASSERT_FALSE(op.passedAfterEnd) << what;
}

// The tree, and the same operations called on a root of its own (ThroughTheRoot), agree with
// the model.
TEST_P(BTreeDifferentialTest, TreeAgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  for (test::KeyDomain keys : {test::KeyDomain::kFew, test::KeyDomain::kHundreds,
                               test::KeyDomain::kWholeRange, test::KeyDomain::kTop}) {
    for (int seed = 1; seed <= seeds(); ++seed) {
      SCOPED_TRACE("k " + std::to_string(k) + ", k_star " + std::to_string(k_star) + ", " +
                   test::nameOf(keys) + ", seed " + std::to_string(seed));
      BTree tree(k, k_star);
      ThroughTheRoot viaRoot(k, k_star);
      test::ModelMultimap model;
      test::OperationGenerator stream(keys, seed * 1000003ULL + k * 101 + k_star);
      test::RecordingOperator op;
      const int operations = operationsPerStream();
      for (int i = 0; i < operations; ++i) {
        // Phases that grow the tree, shrink it (emptying leaves) and mix.
        const int32_t phase = (i / 500) % 3;
        const int32_t insertShare = phase == 0 ? 70 : phase == 1 ? 20 : 45;
        const int32_t dice = stream.between(0, 99);
        const int32_t key = stream.key();
        std::string what = "operation " + std::to_string(i) + " on key " + std::to_string(key);
        op.reset();
        if (dice < insertShare) {
          const int32_t value = stream.value();
          tree.add(key, value);
          viaRoot.add(key, value);
          model.add(key, value);
        } else if (dice < insertShare + 10) {
          tree.remove(key);
          viaRoot.remove(key, BTreeConstants::ALL_MAPPINGS);
          model.removeAll(key);
        } else if (dice < insertShare + 25) {
          // Mostly a value the key holds, so that the removal finds something.
          const std::vector<int32_t> held = model.get(key);
          const int32_t value = held.empty() || stream.between(0, 3) == 0
                                    ? stream.value()
                                    : held[stream.between(0, held.size() - 1)];
          tree.remove(key, value);
          viaRoot.remove(key, value);
          if (value == BTreeConstants::ALL_MAPPINGS)
            model.removeAll(key);
          else
            model.removeOne(key, value);
        } else if (dice < insertShare + 40) {
          tree.get(key, op);
          expectSame(op, model.get(key), "get " + what);
          op.reset();
          viaRoot.get(key, op);
          expectSame(op, model.get(key), "get through the root " + what);
        } else if (dice < 98) {
          const auto [low, high] = stream.range(key);
          const std::string range = std::to_string(low) + " .. " + std::to_string(high);
          tree.queryRange(low, high, op);
          expectSame(op, model.range(low, high), "range " + range);
          op.reset();
          viaRoot.queryRange(low, high, op);
          expectSame(op, model.range(low, high), "range through the root " + range);
        } else {
          ASSERT_EQ(tree.size(), model.size()) << what;
          ASSERT_EQ(tree.getElemCount(), model.size()) << what;
          ASSERT_EQ(tree.getLeafUtilization(),
                    BTree::leafUtilizationOf(model.size(), tree.getLeafCount(), k_star))
              << what;
          // Fresh statistics: verify() compares them with a recount of the chain.
          ASSERT_EQ(tree.verify(), std::nullopt) << what;
        }
        if (HasFatalFailure())
          return;
        ++comparedOperations;
        if (i % 97 == 0) {
          ASSERT_EQ(tree.verify(), std::nullopt) << what;
        }
      }
      ASSERT_EQ(tree.size(), model.size());
      ASSERT_EQ(tree.verify(), std::nullopt);
      op.reset();
      tree.queryRange(kMin, kMax, op);
      expectSame(op, model.range(kMin, kMax), "whole range at the end");
      op.reset();
      viaRoot.queryRange(kMin, kMax, op);
      expectSame(op, model.range(kMin, kMax), "whole range through the root at the end");
    }
  }
}

TEST_P(BTreeDifferentialTest, MapAdapterAgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  for (int seed = 1; seed <= seeds(); ++seed) {
    util::BTreeMap map(k, k_star);
    test::ModelMultimap model;
    test::OperationGenerator stream(test::KeyDomain::kHundreds, seed * 7919ULL + k * 31 + k_star);
    test::RecordingOperator op;
    for (int i = 0; i < operationsPerStream(); ++i) {
      const int32_t dice = stream.between(0, 99);
      const int32_t key = stream.key();
      op.reset();
      if (dice < 50) {
        const int32_t value = stream.value();
        map.insert(key, value);
        model.add(key, value);
      } else if (dice < 65) {
        map.erase(key);
        model.removeAll(key);
      } else if (dice < 80) {
        map.pointQuery(key, op);
        expectSame(op, model.get(key), "pointQuery " + std::to_string(key));
      } else if (dice < 98) {
        const auto [low, high] = stream.range(key);
        map.rangeQuery(low, high, op);
        expectSame(op, model.range(low, high), "rangeQuery");
      } else {
        ASSERT_EQ(map.size(), model.size());
      }
      if (HasFatalFailure())
        return;
      ++comparedOperations;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Parameters, BTreeDifferentialTest,
                         ::testing::Values(Parameters{2, 1}, Parameters{2, 2}, Parameters{3, 2},
                                           Parameters{2, 5}, Parameters{4, 1}, Parameters{5, 3},
                                           Parameters{3, 8}, Parameters{16, 16},
                                           Parameters{64, 64}),
                         [](const ::testing::TestParamInfo<Parameters>& info) {
                           return "k" + std::to_string(info.param.k) + "_kstar" +
                                  std::to_string(info.param.k_star);
                         });

}  // namespace
}  // namespace core::btree
