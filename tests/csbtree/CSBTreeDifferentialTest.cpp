// Drives the CSB+-tree and its map adapter with seeded random operation streams
// (test::runDifferential) and checks every answer against a reference multimap.
// MAPBENCH_LONG_TESTS=1 runs many more streams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/csbtree/CSBTree.h"
#include "maps/CSBTreeMap.h"
#include "testing/ModelMultimap.h"
#include "tests/support/DifferentialRun.h"
#include "tests/support/LongTests.h"

namespace core::csbtree {
namespace {

// The tree as a subject of the differential run, driven through its map adapter or directly:
// its statistics and structure are checked too.
class TreeSubject {
 public:
  TreeSubject(int32_t k, int32_t k_star, bool viaMap,
              util::SplitPolicy policy = util::SplitPolicy::kPositional)
      : map_(k, k_star, policy), adapter_(map_), k_star_(k_star), viaMap_(viaMap) {}

  void add(int32_t key, int32_t value) {
    if (viaMap_)
      adapter_.add(key, value);
    else
      tree().add(key, value);
  }
  void removeAll(int32_t key) {
    if (viaMap_)
      adapter_.removeAll(key);
    else
      tree().remove(key);
  }
  void get(int32_t key, util::IntPushOperator& op) {
    if (viaMap_)
      adapter_.get(key, op);
    else
      tree().get(key, op);
  }
  void queryRange(int32_t low, int32_t high, util::IntPushOperator& op) {
    if (viaMap_)
      adapter_.queryRange(low, high, op);
    else
      tree().queryRange(low, high, op);
  }
  std::optional<std::string> check(const test::ModelMultimap& model) {
    if (viaMap_) {
      if (auto problem = adapter_.check(model))
        return problem;
    }
    if (tree().size() != model.size() || tree().getElemCount() != model.size())
      return "size " + std::to_string(tree().size()) + ", expected " + std::to_string(model.size());
    const int64_t leaves = tree().getLeafCount();
    const double actual = tree().getLeafUtilization();
    const double expected = CSBTree::leafUtilizationOf(model.size(), leaves, k_star_);
    if (tree().getRoot().isNull() ? leaves != 0 || !std::isnan(actual)
                                  : leaves < 1 || actual != expected)
      return "leaf utilization " + std::to_string(actual) + " over " + std::to_string(leaves) +
             " leaves";
    return tree().verify();
  }

 private:
  CSBTree& tree() { return map_.tree(); }

  util::CSBTreeMap map_;
  test::MapSubject<util::CSBTreeMap> adapter_;
  int32_t k_star_;
  bool viaMap_;
};

class CSBTreeDifferentialTest : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(CSBTreeDifferentialTest, AgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  const int32_t seeds = test::longTestsRequested() ? 20 : 3;
  const int32_t operations = test::longTestsRequested() ? 20000 : 8000;
  int64_t compared = 0;
  for (test::KeyDomain domain : {test::KeyDomain::kFew, test::KeyDomain::kHundreds,
                                 test::KeyDomain::kWholeRange, test::KeyDomain::kTop}) {
    for (int32_t seed = 1; seed <= seeds; ++seed) {
      SCOPED_TRACE(::testing::Message() << test::nameOf(domain) << ", seed " << seed);
      TreeSubject tree(k, k_star, seed % 2 == 1);
      const test::DifferentialResult run = test::runDifferential(
          domain, static_cast<uint64_t>(seed) * 1000003 + k * 31 + k_star, operations, tree);
      compared += run.compared;
      ASSERT_EQ(run.failure, std::nullopt);
    }
  }
  RecordProperty("operations", std::to_string(compared));
  std::cout << "k " << k << ", k_star " << k_star << ": " << compared << " operations compared\n";
}

// Both split rules, on in-order ingest (ascending, descending, sawtooth, runs of one key, with
// deletes and duplicates mixed in) and on random keys, agree with the model.
TEST_P(CSBTreeDifferentialTest, SplitRulesAgreeWithTheReferenceMultimapOnOrderedIngest) {
  const auto [k, k_star] = GetParam();
  const int32_t seeds = test::longTestsRequested() ? 3 : 2;
  const int32_t operations = test::longTestsRequested() ? 8000 : 4000;
  std::vector<test::KeyDomain> domains(std::begin(test::kOrderedDomains),
                                       std::end(test::kOrderedDomains));
  domains.insert(domains.end(), {test::KeyDomain::kFew, test::KeyDomain::kHundreds});
  for (test::KeyDomain domain : domains) {
    for (int32_t seed = 1; seed <= seeds; ++seed) {
      SCOPED_TRACE(::testing::Message() << test::nameOf(domain) << ", seed " << seed);
      TreeSubject sequential(k, k_star, seed % 2 == 1, util::SplitPolicy::kSequential);
      TreeSubject positional(k, k_star, seed % 2 == 0);
      const test::DifferentialResult run =
          test::runDifferential(domain, static_cast<uint64_t>(seed) * 999983 + k * 131 + k_star,
                                operations, sequential, positional);
      ASSERT_EQ(run.failure, std::nullopt);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Parameters, CSBTreeDifferentialTest,
                         ::testing::Values(std::pair{1, 1}, std::pair{1, 2}, std::pair{2, 1},
                                           std::pair{1, 3}, std::pair{2, 2}, std::pair{3, 1},
                                           std::pair{2, 5}, std::pair{4, 4}, std::pair{5, 2},
                                           std::pair{1, 16}, std::pair{16, 1}, std::pair{16, 16}),
                         [](const auto& info) {
                           return "k" + std::to_string(info.param.first) + "_kstar" +
                                  std::to_string(info.param.second);
                         });

}  // namespace
}  // namespace core::csbtree
