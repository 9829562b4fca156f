// Drives the CSB+-tree and its map adapter with seeded random operation streams and checks
// every answer against a reference multimap. MAPBENCH_LONG_TESTS=1 runs many more streams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/csbtree/CSBTree.h"
#include "tests/support/LongTests.h"
#include "tests/support/ModelMultimap.h"
#include "tests/support/RecordingOperator.h"
#include "util/CSBTreeMap.h"

namespace core::csbtree {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

enum class Domain { kTiny, kSmall, kWholeRange, kTop };

const char* nameOf(Domain domain) {
  switch (domain) {
    case Domain::kTiny:
      return "tiny";
    case Domain::kSmall:
      return "small";
    case Domain::kWholeRange:
      return "whole range";
    case Domain::kTop:
      return "top";
  }
  return "?";
}

// One seeded stream of operations on one tree and on the reference at the same time.
class Stream {
 public:
  Stream(int32_t k, int32_t k_star, Domain domain, uint64_t seed)
      : map_(k, k_star), k_star_(k_star), domain_(domain), random_(seed), viaMap_(seed % 2 == 1) {}

  // Runs `operations` operations; stops at the first disagreement (reported through gtest).
  int64_t run(int32_t operations) {
    int64_t done = 0;
    for (int32_t i = 0; i < operations && !::testing::Test::HasFailure(); ++i, ++done) {
      const int choice = uniform(0, 99);
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
  int32_t uniform(int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random_);
  }

  int32_t freshKey() {
    switch (domain_) {
      case Domain::kTiny:
        return uniform(-2, 5);
      case Domain::kSmall:
        return uniform(0, 300);
      case Domain::kWholeRange: {
        const int pick = uniform(0, 19);
        if (pick == 0)
          return kMin;
        if (pick == 1)
          return kMax;
        if (pick == 2)
          return kMin + uniform(1, 3);
        if (pick == 3)
          return kMax - uniform(1, 3);
        return uniform(kMin, kMax);
      }
      case Domain::kTop:
        // Long runs of the largest int, which is also what unused slots hold.
        return uniform(0, 2) == 0 ? kMax - uniform(1, 3) : kMax;
    }
    return 0;
  }

  // A key that is (or was) stored, most of the time.
  int32_t someKey() {
    if (inserted_.empty() || uniform(0, 9) < 3)
      return freshKey();
    return inserted_[static_cast<size_t>(uniform(0, static_cast<int32_t>(inserted_.size()) - 1))];
  }

  void insert() {
    const int32_t key = uniform(0, 3) == 0 ? someKey() : freshKey();
    const int32_t value = uniform(0, 49) == 0 ? kMin : uniform(kMin, kMax);
    if (viaMap_)
      map_.insert(key, value);
    else
      map_.tree().add(key, value);
    model_.add(key, value);
    inserted_.push_back(key);
  }

  void removeAll() {
    const int32_t key = someKey();
    if (viaMap_)
      map_.erase(key);
    else
      map_.tree().remove(key);
    model_.removeAll(key);
  }

  void pointQuery() {
    const int32_t key = someKey();
    test::RecordingOperator op;
    if (viaMap_)
      map_.pointQuery(key, op);
    else
      map_.tree().get(key, op);
    expectDelivered(op, model_.get(key), "get " + std::to_string(key));
  }

  void rangeQuery() {
    int32_t low = someKey();
    int32_t high;
    const int shape = uniform(0, 19);
    if (shape == 0) {
      low = kMin;
      high = kMax;
    } else if (shape == 1) {
      high = low;
    } else if (shape == 2) {
      high = static_cast<int32_t>(std::max<int64_t>(kMin, int64_t{low} - uniform(1, 50)));
    } else {
      const int64_t span = domain_ == Domain::kWholeRange ? uniform(0, 1 << 30) : uniform(0, 40);
      high = static_cast<int32_t>(std::min<int64_t>(kMax, int64_t{low} + span));
    }
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
    if (tree.getRoot() == nullptr) {
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
  Domain domain_;
  std::mt19937_64 random_;
  bool viaMap_;
  std::vector<int32_t> inserted_;
};

class CSBTreeDifferentialTest : public ::testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(CSBTreeDifferentialTest, AgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  const int32_t seeds = test::longTestsRequested() ? 20 : 3;
  const int32_t operations = test::longTestsRequested() ? 20000 : 8000;
  int64_t compared = 0;
  for (Domain domain : {Domain::kTiny, Domain::kSmall, Domain::kWholeRange, Domain::kTop}) {
    for (int32_t seed = 1; seed <= seeds && !HasFailure(); ++seed) {
      SCOPED_TRACE(::testing::Message() << nameOf(domain) << " keys, seed " << seed);
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
