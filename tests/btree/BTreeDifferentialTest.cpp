// Drives the B+-tree and a reference multimap with the same seeded random operations and
// compares every result. MAPBENCH_LONG_TESTS=1 runs many more seeds and operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/btree/BTree.h"
#include "core/btree/BTreeConstants.h"
#include "tests/support/LongTests.h"
#include "tests/support/ModelMultimap.h"
#include "tests/support/RecordingOperator.h"
#include "util/BTreeMap.h"

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

// Where the keys of one operation stream come from.
enum class Keys { kFew, kHundreds, kWholeRange };
const char* const kKeysNames[] = {"few keys", "hundreds of keys", "the whole int range"};

class OperationStream {
 public:
  OperationStream(Keys keys, uint64_t seed) : keys_(keys), random_(seed) {}

  int32_t key() {
    switch (keys_) {
      case Keys::kFew:
        return between(-3, 4);
      case Keys::kHundreds:
        return between(-100, 300);
      case Keys::kWholeRange:
        break;
    }
    const int32_t choice = between(0, 9);
    if (choice == 0) {
      static constexpr int32_t kEdges[] = {kMin, kMin + 1, -1, 0, kMax - 1, kMax};
      return kEdges[between(0, 5)];
    }
    if (choice <= 4 && !recent_.empty())
      return recent_[between(0, static_cast<int32_t>(recent_.size()) - 1)];
    const int32_t fresh = between(kMin, kMax);
    if (recent_.size() < 64)
      recent_.push_back(fresh);
    else
      recent_[between(0, 63)] = fresh;
    return fresh;
  }

  // Values are mostly small, so that removals of one value often match; now and then the
  // value that means "every mapping".
  int32_t value() { return between(0, 99) == 0 ? BTreeConstants::ALL_MAPPINGS : between(-50, 50); }

  // A range bound near `key`, sometimes below it, now and then the extremes.
  int32_t boundNear(int32_t key) {
    const int32_t choice = between(0, 19);
    if (choice == 0)
      return kMin;
    if (choice == 1)
      return kMax;
    const int64_t span = keys_ == Keys::kWholeRange ? int64_t{1} << 28 : 40;
    const int64_t bound = int64_t{key} + between(-4, 16) * span / 16;
    return static_cast<int32_t>(std::clamp<int64_t>(bound, kMin, kMax));
  }

  int32_t between(int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random_);
  }

 private:
  Keys keys_;
  std::mt19937_64 random_;
  std::vector<int32_t> recent_;
};

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

void expectSame(const test::RecordingOperator& op, const std::vector<int32_t>& expected,
                const std::string& what) {
  ASSERT_EQ(op.values, expected) << what;
  ASSERT_EQ(op.endCalls, 1) << what;
  ASSERT_FALSE(op.passedAfterEnd) << what;
}

TEST_P(BTreeDifferentialTest, TreeAgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  for (Keys keys : {Keys::kFew, Keys::kHundreds, Keys::kWholeRange}) {
    for (int seed = 1; seed <= seeds(); ++seed) {
      SCOPED_TRACE("k " + std::to_string(k) + ", k_star " + std::to_string(k_star) + ", " +
                   kKeysNames[static_cast<int>(keys)] + ", seed " + std::to_string(seed));
      BTree tree(k, k_star);
      test::ModelMultimap model;
      OperationStream stream(keys, seed * 1000003ULL + k * 101 + k_star);
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
          model.add(key, value);
        } else if (dice < insertShare + 10) {
          tree.remove(key);
          model.removeAll(key);
        } else if (dice < insertShare + 25) {
          // Mostly a value the key holds, so that the removal finds something.
          const std::vector<int32_t> held = model.get(key);
          const int32_t value = held.empty() || stream.between(0, 3) == 0
                                    ? stream.value()
                                    : held[stream.between(0, held.size() - 1)];
          tree.remove(key, value);
          if (value == BTreeConstants::ALL_MAPPINGS)
            model.removeAll(key);
          else
            model.removeOne(key, value);
        } else if (dice < insertShare + 40) {
          tree.get(key, op);
          expectSame(op, model.get(key), "get " + what);
        } else if (dice < 98) {
          const int32_t low = stream.boundNear(key);
          const int32_t high = stream.boundNear(key);
          tree.queryRange(low, high, op);
          expectSame(op, model.range(low, high),
                     "range " + std::to_string(low) + " .. " + std::to_string(high));
        } else {
          ASSERT_EQ(tree.size(), model.size()) << what;
          ASSERT_EQ(tree.getElemCount(), model.size()) << what;
          ASSERT_EQ(tree.getLeafUtilization(),
                    BTree::leafUtilization(model.size(), k_star, tree.getLeafCount()))
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
    }
  }
}

TEST_P(BTreeDifferentialTest, MapAdapterAgreesWithTheReferenceMultimap) {
  const auto [k, k_star] = GetParam();
  for (int seed = 1; seed <= seeds(); ++seed) {
    util::BTreeMap map(k, k_star);
    test::ModelMultimap model;
    OperationStream stream(Keys::kHundreds, seed * 7919ULL + k * 31 + k_star);
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
        const int32_t low = stream.boundNear(key);
        const int32_t high = stream.boundNear(key);
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
