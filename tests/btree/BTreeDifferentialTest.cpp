// Drives the B+-tree, the same operations through its root node, and its map adapter with
// seeded random operation streams (test::runDifferential) and compares every result with a
// reference multimap. MAPBENCH_LONG_TESTS=1 runs many more seeds and operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/btree/BTree.h"
#include "core/btree/BTreeConstants.h"
#include "core/btree/InternalNode.h"
#include "core/btree/NodePool.h"
#include "maps/BTreeMap.h"
#include "testing/ModelMultimap.h"
#include "tests/support/DifferentialRun.h"
#include "tests/support/LongTests.h"

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

// The tree as a subject of the differential run: its statistics and structure are checked too.
class TreeSubject {
 public:
  TreeSubject(int32_t k, int32_t k_star, util::SplitPolicy policy = util::SplitPolicy::kPositional)
      : tree_(k, k_star, policy), k_star_(k_star) {}

  void add(int32_t key, int32_t value) { tree_.add(key, value); }
  void removeAll(int32_t key) { tree_.remove(key); }
  void removeOne(int32_t key, int32_t value) { tree_.remove(key, value); }
  void get(int32_t key, util::IntPushOperator& op) { tree_.get(key, op); }
  void queryRange(int32_t low, int32_t high, util::IntPushOperator& op) {
    tree_.queryRange(low, high, op);
  }
  std::optional<std::string> check(const test::ModelMultimap& model) {
    if (tree_.size() != model.size() || tree_.getElemCount() != model.size())
      return "size " + std::to_string(tree_.size()) + ", expected " + std::to_string(model.size());
    const double actual = tree_.getLeafUtilization();
    const double expected = BTree::leafUtilizationOf(model.size(), tree_.getLeafCount(), k_star_);
    if (actual != expected && !(std::isnan(actual) && std::isnan(expected)))
      return "leaf utilization " + std::to_string(actual) + ", expected " +
             std::to_string(expected);
    // Fresh statistics: verify() compares them with a recount of the chain.
    return tree_.verify();
  }

 private:
  BTree tree_;
  int32_t k_star_;
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
  void removeAll(int32_t key) { root_.remove(key, BTreeConstants::ALL_MAPPINGS, kMin, kMax); }
  void removeOne(int32_t key, int32_t value) { root_.remove(key, value, kMin, kMax); }
  void get(int32_t key, util::IntPushOperator& op) { root_.get(key, op); }
  void queryRange(int32_t low, int32_t high, util::IntPushOperator& op) {
    root_.queryRange(low, high, op);
  }
  std::optional<std::string> check(const test::ModelMultimap&) { return std::nullopt; }

 private:
  NodePool pool_;
  BTreeNode root_;
};

// The tree, and the same operations called on a root of its own, agree with the model.
TEST_P(BTreeDifferentialTest, TreeAgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  for (test::KeyDomain keys : {test::KeyDomain::kFew, test::KeyDomain::kHundreds,
                               test::KeyDomain::kWholeRange, test::KeyDomain::kTop}) {
    for (int seed = 1; seed <= seeds(); ++seed) {
      SCOPED_TRACE(test::nameOf(keys) + std::string(", seed ") + std::to_string(seed));
      TreeSubject tree(k, k_star);
      ThroughTheRoot viaRoot(k, k_star);
      const test::DifferentialResult run = test::runDifferential(
          keys, seed * 1000003ULL + k * 101 + k_star, operationsPerStream(), tree, viaRoot);
      comparedOperations += run.compared;
      ASSERT_EQ(run.failure, std::nullopt);
    }
  }
}

TEST_P(BTreeDifferentialTest, MapAdapterAgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  for (int seed = 1; seed <= seeds(); ++seed) {
    util::BTreeMap map(k, k_star);
    test::MapSubject subject(map);
    const test::DifferentialResult run =
        test::runDifferential(test::KeyDomain::kHundreds, seed * 7919ULL + k * 31 + k_star,
                              operationsPerStream(), subject);
    comparedOperations += run.compared;
    ASSERT_EQ(run.failure, std::nullopt) << "seed " << seed;
  }
}

// Both split rules, on in-order ingest (ascending, descending, sawtooth, runs of one key, with
// deletes and duplicates mixed in) and on random keys, agree with the model.
TEST_P(BTreeDifferentialTest, SplitRulesAgreeWithTheReferenceMultimapOnOrderedIngest) {
  const auto [k, k_star] = GetParam();
  std::vector<test::KeyDomain> domains(std::begin(test::kOrderedDomains),
                                       std::end(test::kOrderedDomains));
  domains.insert(domains.end(), {test::KeyDomain::kFew, test::KeyDomain::kHundreds});
  for (test::KeyDomain keys : domains) {
    for (int seed = 1; seed <= seeds() / 2; ++seed) {
      SCOPED_TRACE(test::nameOf(keys) + std::string(", seed ") + std::to_string(seed));
      TreeSubject sequential(k, k_star, util::SplitPolicy::kSequential);
      TreeSubject positional(k, k_star);
      util::BTreeMap map(k, k_star, util::SplitPolicy::kSequential);
      test::MapSubject adapter(map);
      const test::DifferentialResult run =
          test::runDifferential(keys, seed * 999983ULL + k * 131 + k_star,
                                operationsPerStream() / 2, sequential, positional, adapter);
      comparedOperations += run.compared;
      ASSERT_EQ(run.failure, std::nullopt);
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
