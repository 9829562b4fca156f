// Drives the CSB+-tree and its map adapter with seeded random operation streams and checks
// every answer against a reference multimap. MAPBENCH_LONG_TESTS=1 runs many more streams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "core/csbtree/CSBTree.h"
#include "maps/CSBTreeMap.h"
#include "testing/ModelMultimap.h"
#include "testing/RecordingOperator.h"
#include "tests/support/LongTests.h"
#include "tests/support/OperationGenerator.h"

namespace core::csbtree {
namespace {

// One seeded stream of operations on one tree and on the reference at the same time.
class Stream {
 public:
  Stream(int32_t k, int32_t k_star, test::KeyDomain domain, uint64_t seed)
      : map_(k, k_star), k_star_(k_star), generator_(domain, seed), viaMap_(seed % 2 == 1) {}

  // Runs `operations` operations; stops at the first disagreement (reported through gtest).
  int64_t run(int32_t operations) {
    int64_t done = 0;
    for (int32_t i = 0; i < operations && !::testing::Test::HasFailure(); ++i, ++done) {
      const int choice = generator_.between(0, 99);
      if (choice < 45)
        insert();
      else if (choice < 55)
        removeAll();
      else if (choice < 72)
        pointQuery();
      else if (choice < 92)
        rangeQuery();
      else
        checkSize();
      if (i % 64 == 63)
        checkStructure();
    }
    checkSize();
    checkStructure();
    return done;
  }

 private:
  void insert() {
    const int32_t key = generator_.key();
    const int32_t value = generator_.value();
    if (viaMap_)
      map_.insert(key, value);
    else
      map_.tree().add(key, value);
    model_.add(key, value);
  }

  void removeAll() {
    const int32_t key = generator_.key();
    if (viaMap_)
      map_.erase(key);
    else
      map_.tree().remove(key);
    model_.removeAll(key);
  }

  void pointQuery() {
    const int32_t key = generator_.key();
    test::RecordingOperator op;
    if (viaMap_)
      map_.pointQuery(key, op);
    else
      map_.tree().get(key, op);
    expectDelivered(op, model_.get(key), "get " + std::to_string(key));
  }

  void rangeQuery() {
    const auto [low, high] = generator_.range(generator_.key());
    test::RecordingOperator op;
    if (viaMap_)
      map_.rangeQuery(low, high, op);
    else
      map_.tree().queryRange(low, high, op);
    expectDelivered(op, model_.range(low, high),
                    "range " + std::to_string(low) + " .. " + std::to_string(high));
  }

  void expectDelivered(const test::RecordingOperator& op, const std::vector<int32_t>& expected,
                       const std::string& what) {
    EXPECT_EQ(op.values, expected) << what;
    EXPECT_EQ(op.endCalls, 1) << what;
    EXPECT_FALSE(op.passedAfterEnd) << what;
  }

  void checkSize() {
    CSBTree& tree = map_.tree();
    const int64_t size = viaMap_ ? map_.size() : tree.size();
    EXPECT_EQ(size, model_.size());
    EXPECT_EQ(tree.getElemCount(), model_.size());
    const int64_t leaves = tree.getLeafCount();
    if (tree.getRoot().isNull()) {
      EXPECT_EQ(leaves, 0);
      EXPECT_TRUE(std::isnan(tree.getLeafUtilization()));
    } else {
      EXPECT_GE(leaves, 1);
      EXPECT_DOUBLE_EQ(tree.getLeafUtilization(), static_cast<double>(model_.size()) /
                                                      static_cast<double>(leaves * 2 * k_star_));
    }
  }

  void checkStructure() {
    const std::optional<std::string> problem = map_.tree().verify();
    EXPECT_EQ(problem, std::nullopt) << problem.value_or("");
  }

  util::CSBTreeMap map_;
  int32_t k_star_;
  test::ModelMultimap model_;
  test::OperationGenerator generator_;
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
    for (int32_t seed = 1; seed <= seeds && !HasFailure(); ++seed) {
      SCOPED_TRACE(::testing::Message() << test::nameOf(domain) << ", seed " << seed);
      Stream stream(k, k_star, domain, static_cast<uint64_t>(seed) * 1000003 + k * 31 + k_star);
      compared += stream.run(operations);
    }
  }
  RecordProperty("operations", std::to_string(compared));
  std::cout << "k " << k << ", k_star " << k_star << ": " << compared << " operations compared\n";
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
