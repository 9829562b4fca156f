#include "core/csbtree/CSBTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/csbtree/CSBTreeConstants.h"
#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/NodeGroup.h"
#include "maps/CSBTreeMap.h"
#include "testing/RecordingOperator.h"
#include "tests/support/CapturedStream.h"
#include "tests/support/FakeOutputStream.h"
#include "tests/support/IngestPatterns.h"
#include "tests/support/TreeLookups.h"
#include "workload/TreeMapFactory.h"
#include "workload/WorkloadGenerator.h"

namespace core::csbtree {
namespace {

using test::rangeOf;
using test::valuesOf;

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

std::string id(CSBTreeNode group) {
  return std::to_string(group.identityNumber());
}

std::string stats(CSBTree& tree) {
  std::ostringstream out;
  tree.printStats(out);
  return out.str();
}

TEST(CSBTreeTest, ParametersWithoutRoomOrBeyondTheBoundAreRefused) {
  const std::string k =
      "k must be between 1 and 536870911 (4 x k keys per node, counted in 32 bits), got ";
  const std::string kStar =
      "k_star must be between 1 and 1073741823 (2 x k_star entries per leaf, counted in 32 bits), "
      "got ";
  const std::pair<std::pair<int32_t, int32_t>, std::string> refused[] = {
      {{0, 1}, k + "0"},
      {{-5, 0}, k + "-5"},
      {{1 << 29, 16}, k + "536870912"},  // 4 x k would overflow
      {{16, 0}, kStar + "0"},
      {{16, kMin}, kStar + "-2147483648"},
      {{1, 1 << 30}, kStar + "1073741824"},  // 2 x k_star would overflow
  };
  for (const auto& [parameters, message] : refused) {
    try {
      util::CSBTreeMap map(parameters.first, parameters.second);
      ADD_FAILURE() << message;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
  // The largest accepted parameters are accepted (a first group of them would take 16 GiB),
  // and parameters far beyond a cache make a working tree.
  EXPECT_NO_THROW(CSBTree(CSBTreeConstants::kMaxK, CSBTreeConstants::kMaxKStar));
  CSBTree large(1 << 20, 1 << 20);
  large.add(3, 30);
  large.add(1, 10);
  EXPECT_THAT(rangeOf(large, kMin, kMax), ElementsAre(10, 30));
}

TEST(CSBTreeTest, TreeThatNeverReceivedAnEntryBehavesAsEmpty) {
  CSBTree tree(2, 2);
  EXPECT_THAT(valuesOf(tree, 5), IsEmpty());
  EXPECT_THAT(rangeOf(tree, kMin, kMax), IsEmpty());
  tree.remove(5);
  EXPECT_EQ(tree.size(), 0);
  EXPECT_EQ(tree.getLeafCount(), 0);
  EXPECT_TRUE(std::isnan(tree.getLeafUtilization()));
  EXPECT_EQ(stats(tree), "leafUtilization:\tNaN\tleafCount:\t0\telementCount:\t0\t");
  EXPECT_EQ(tree.toString(), "[]");
  EXPECT_EQ(tree.verify(), std::nullopt);
  EXPECT_EQ(tree.getGetCounter(), 1);
  EXPECT_EQ(tree.getRangeQueryCounter(), 1);
  EXPECT_EQ(tree.getDelCounter(), 1);
  EXPECT_EQ(tree.getAddCounter(), 0);

  test::FakeOutputStream out;
  tree.toDot(out);
  EXPECT_EQ(out.text(), "digraph g {\nnode [shape=record,height=.1];\n}\n");
  EXPECT_EQ(out.closes, 1);

  util::CSBTreeMap map(16, 16);
  EXPECT_EQ(map.size(), 0);
}

TEST(CSBTreeTest, WorkedExampleGrowsOneLevelPerRootSplit) {
  CSBTree tree(1, 1);
  tree.add(1, 10);
  ASSERT_FALSE(tree.getFirstLeaf().isNull());
  EXPECT_EQ(tree.getRoot(), tree.getFirstLeaf());
  // Splits move the first group to new blocks; its identity number stays.
  const std::string first = id(tree.getFirstLeaf());
  auto firstEntries = [&] { return LeafGroup(tree.getFirstLeaf()).getEntries(); };
  EXPECT_EQ(tree.toString(), "LeafGroup " + first + " [1=10]");

  tree.add(2, 20);
  EXPECT_EQ(tree.toString(), "[" + first + " | 2/ ]");
  EXPECT_EQ(firstEntries().leaves(), 2);

  for (int32_t key : {3, 4, 5})
    tree.add(key, key * 10);
  EXPECT_EQ(tree.toString(), "[" + first + " | 2.3.4.5/ ]");
  EXPECT_EQ(id(tree.getFirstLeaf()), first);
  EXPECT_EQ(firstEntries().leaves(), 5);
  EXPECT_EQ(firstEntries().toString(), "1=10, 2=20, 3=30, 4=40, 5=50");

  LeafCarrier carrier;
  tree.add(6, 60, carrier);
  const CSBTreeNode middle = NodeGroup(tree.getRoot()).getEntries().getChild(0);
  const CSBTreeNode second = LeafGroup(tree.getFirstLeaf()).getNextLeafGroup();
  ASSERT_FALSE(second.isNull());
  EXPECT_EQ(tree.toString(), "[" + id(middle) + " | 4/ ]");
  EXPECT_EQ(NodeGroup(middle).toString(), "[" + first + " | 2.3/ " + id(second) + " | 5.6/ ]");
  EXPECT_EQ(firstEntries().toString(), "1=10, 2=20, 3=30");
  EXPECT_EQ(LeafGroup(second).getEntries().toString(), "4=40, 5=50, 6=60");
  EXPECT_TRUE(LeafGroup(second).getNextLeafGroup().isNull());
  EXPECT_EQ(carrier.getLeaf(), tree.getFirstLeaf());  // the lower group after the split
  EXPECT_EQ(tree.verify(), std::nullopt);
}

// A leaf split may divide a run of equal keys and post the key itself as the separator;
// lookups and removals must still see the mappings left of it, and new mappings must still
// go after all stored ones.
TEST(CSBTreeTest, MappingsOfAKeyDividedByLeafSplitsAreAllFoundAndRemoved) {
  for (auto [k, k_star] : {std::pair{1, 1}, {1, 2}, {2, 1}, {3, 2}, {16, 16}}) {
    SCOPED_TRACE(testing::Message() << "k " << k << ", k_star " << k_star);
    CSBTree tree(k, k_star);
    std::vector<int32_t> sevens;
    std::vector<int32_t> sixes;
    std::vector<int32_t> eights;
    for (int32_t i = 0; i < 60; ++i) {
      tree.add(7, i);
      sevens.push_back(i);
      if (i % 5 == 0) {
        tree.add(6, 1000 + i);
        sixes.push_back(1000 + i);
        tree.add(8, 2000 + i);
        eights.push_back(2000 + i);
      }
    }
    ASSERT_EQ(tree.verify(), std::nullopt);
    EXPECT_THAT(valuesOf(tree, 7), ElementsAreArray(sevens));
    EXPECT_THAT(rangeOf(tree, 7, 7), ElementsAreArray(sevens));
    std::vector<int32_t> all = sixes;
    all.insert(all.end(), sevens.begin(), sevens.end());
    all.insert(all.end(), eights.begin(), eights.end());
    EXPECT_THAT(rangeOf(tree, 6, 8), ElementsAreArray(all));

    tree.remove(7);
    EXPECT_THAT(valuesOf(tree, 7), IsEmpty());
    EXPECT_EQ(tree.size(), 24);
    EXPECT_THAT(valuesOf(tree, 6), ElementsAreArray(sixes));
    EXPECT_THAT(valuesOf(tree, 8), ElementsAreArray(eights));
    EXPECT_EQ(tree.verify(), std::nullopt);
  }
}

// A lookup settles its key inside one leaf, by the separator after the leaf or by an entry
// after the key; scans leave that leaf along the chain without searching again. Every leaf
// boundary, every last child of a node, runs of equal keys and emptied leaves must still give
// what the reference gives, with the default sizes, small ones and ones searched by bisection.
TEST(CSBTreeTest, LookupsAndShortScansAgreeWithAReferenceAtEveryKey) {
  for (auto [k, k_star] : {std::pair{16, 16}, {2, 3}, {32, 40}}) {
    SCOPED_TRACE(testing::Message() << "k " << k << ", k_star " << k_star);
    CSBTree tree(k, k_star);
    std::multimap<int32_t, int32_t> reference;
    std::mt19937 random(5);
    for (int32_t i = 0; i < 40000; ++i) {
      const int32_t key = 2 * std::uniform_int_distribution<int32_t>(0, 30000)(random);
      tree.add(key, i);
      reference.emplace(key, i);
    }
    for (int32_t key = 10000; key < 14000; key += 2) {
      tree.remove(key);
      reference.erase(key);
    }
    for (const int32_t key : {kMin, kMax}) {
      tree.add(key, key);
      reference.emplace(key, key);
    }
    ASSERT_EQ(tree.verify(), std::nullopt);
    const auto expected = [&](int32_t low, int32_t high) {
      std::vector<int32_t> values;
      for (auto it = reference.lower_bound(low); it != reference.end() && it->first <= high; ++it)
        values.push_back(it->second);
      return values;
    };
    std::vector<int32_t> keys = {kMin, kMin + 1, kMax - 1, kMax};
    for (int32_t key = -1; key <= 60002; ++key)
      keys.push_back(key);
    for (const int32_t key : keys) {
      SCOPED_TRACE(testing::Message() << "key " << key);
      ASSERT_EQ(valuesOf(tree, key), expected(key, key));
      const int32_t high = key > kMax - 60 ? kMax : key + (key & 63);
      ASSERT_EQ(rangeOf(tree, key, high), expected(key, high));
    }
    EXPECT_THAT(rangeOf(tree, 101, 100), IsEmpty());
  }
}

TEST(CSBTreeTest, StatisticsCountTheLeafLevelAndAreRecountedOnlyAfterChanges) {
  CSBTree tree(2, 4);
  tree.add(1, 10);
  EXPECT_EQ(tree.getLeafCount(), 1);
  EXPECT_EQ(tree.getElemCount(), 1);
  EXPECT_EQ(stats(tree), "leafUtilization:\t0.125\tleafCount:\t1\telementCount:\t1\t");

  for (int32_t key = 2; key <= 40; ++key)
    tree.add(key, key * 10);
  tree.add(40, 401);
  EXPECT_EQ(tree.size(), 41);
  const int64_t leaves = tree.getLeafCount();
  EXPECT_GT(leaves, 1);
  EXPECT_GT(tree.getLeafGroupCount(), 1);
  EXPECT_DOUBLE_EQ(tree.getLeafUtilization(), 41.0 / static_cast<double>(leaves * 8));
  EXPECT_EQ(tree.verify(), std::nullopt);  // the cache matches a recount

  for (int32_t key = 1; key <= 40; ++key)
    tree.remove(key);
  tree.remove(99);
  EXPECT_EQ(stats(tree), "leafUtilization:\t0.0\tleafCount:\t" + std::to_string(leaves) +
                             "\telementCount:\t0\t");
  EXPECT_EQ(tree.getAddCounter(), 41);
  EXPECT_EQ(tree.getDelCounter(), 41);
  EXPECT_EQ(tree.getGetCounter(), 0);

  {
    test::CapturedStream cout(std::cout);
    tree.printStats();
    EXPECT_EQ(cout.str(), stats(tree));
  }
}

TEST(CSBTreeTest, AllocatedBytesAreTheArenasChunksWhole) {
  CSBTree tree(1, 1);  // nodes of 4 keys, leaves of 2 slots
  EXPECT_EQ(tree.allocatedBytes(), 0);

  // The first group takes the first chunk; the arena's tables add a few bytes.
  tree.add(1, 10);
  const int64_t firstChunk = util::Arena::kFirstChunkBytes;
  EXPECT_GE(tree.allocatedBytes(), firstChunk);
  EXPECT_LT(tree.allocatedBytes(), firstChunk + 256);

  // The leaf fills and splits: a root node group, in a first chunk for node groups, over a
  // leaf group of two leaves in the leaves' chunk (the first leaf group's old block is free
  // now).
  tree.add(2, 20);
  const int64_t twoLevels = tree.allocatedBytes();
  EXPECT_GE(twoLevels, 2 * firstChunk);
  EXPECT_LT(twoLevels, 2 * firstChunk + 256);

  // Removal frees nothing, and the adapter reports the same figure.
  tree.remove(1);
  tree.remove(2);
  EXPECT_EQ(tree.allocatedBytes(), twoLevels);
  util::CSBTreeMap map(1, 1);
  map.insert(1, 10);
  map.insert(2, 20);
  EXPECT_EQ(map.allocatedBytes(), twoLevels);
}

TEST(CSBTreeTest, UtilizationDivisorIsFormedIn64Bits) {
  // 1024 leaves of 2 x 2^20 slots are 2^31 slots.
  EXPECT_DOUBLE_EQ(CSBTree::leafUtilizationOf(int64_t{1} << 30, 1024, 1 << 20), 0.5);
}

TEST(CSBTreeTest, VerifyReportsAKeyOutsideItsSeparators) {
  CSBTree tree(1, 2);
  for (int32_t key = 0; key < 100; ++key)
    tree.add(key, key);
  ASSERT_EQ(tree.verify(), std::nullopt);
  // The first leaf holds 0 and 1 below the separator 2; slip a large key in behind them.
  LeafGroup(tree.getFirstLeaf()).add(0, 1000, 0, false, kMin, kMax, nullptr);
  const std::optional<std::string> problem = tree.verify();
  ASSERT_TRUE(problem.has_value());
  EXPECT_THAT(*problem, HasSubstr("key 1000 lies outside its interval"));
}

}  // namespace
}  // namespace core::csbtree

namespace core::csbtree {
namespace {

// In-order ingest fills the leaves under the sequential rule where the positional one leaves
// them half full; random keys keep the positional shape.
TEST(CSBTreeSplitPolicyTest, SequentialRuleFillsLeavesUnderInOrderIngestAndKeepsRandomShape) {
  for (test::IngestOrder order : {test::IngestOrder::kAscending, test::IngestOrder::kDescending,
                                  test::IngestOrder::kSawtooth, test::IngestOrder::kRandom}) {
    SCOPED_TRACE(test::nameOf(order));
    CSBTree sequential(2, 16, util::SplitPolicy::kSequential);
    CSBTree positional(2, 16);
    const double filled = test::utilizationAfter(sequential, order, 20000);
    const double halved = test::utilizationAfter(positional, order, 20000);
    if (order == test::IngestOrder::kRandom) {
      EXPECT_NEAR(filled, halved, 0.01);
    } else {
      EXPECT_GT(filled, 0.9);
      EXPECT_LT(halved, 0.75);
    }
    EXPECT_EQ(sequential.size(), 20000);
    EXPECT_EQ(sequential.verify(), std::nullopt);
    EXPECT_EQ(rangeOf(sequential, kMin, kMax), rangeOf(positional, kMin, kMax));
  }
}

// The worked example's keys under the sequential rule: the group below the full root node
// splits where the node does, at its right edge, leaving the new leaf group two leaves.
TEST(CSBTreeSplitPolicyTest, AscendingKeysSplitNodeAndGroupAtTheRightEdge) {
  CSBTree tree(1, 1, util::SplitPolicy::kSequential);
  for (int32_t key = 1; key <= 6; ++key)
    tree.add(key, key * 10);
  const std::string first = id(tree.getFirstLeaf());
  const CSBTreeNode middle = NodeGroup(tree.getRoot()).getEntries().getChild(0);
  const CSBTreeNode second = LeafGroup(tree.getFirstLeaf()).getNextLeafGroup();
  ASSERT_FALSE(second.isNull());
  EXPECT_EQ(tree.toString(), "[" + id(middle) + " | 5/ ]");
  EXPECT_EQ(NodeGroup(middle).toString(), "[" + first + " | 2.3.4/ " + id(second) + " | 6/ ]");
  EXPECT_EQ(LeafGroup(tree.getFirstLeaf()).getEntries().toString(), "1=10, 2=20, 3=30, 4=40");
  EXPECT_EQ(LeafGroup(second).getEntries().toString(), "5=50, 6=60");
  EXPECT_EQ(tree.verify(), std::nullopt);
}

// Runs of one key fill leaves too, and every mapping of the key is still found in order and
// removed.
TEST(CSBTreeSplitPolicyTest, SequentialSplitsInsideRunsOfEqualKeysLoseNoMapping) {
  CSBTree tree(1, 2, util::SplitPolicy::kSequential);
  std::vector<int32_t> values;
  for (int32_t value = 0; value < 60; ++value) {
    tree.add(7, value);
    values.push_back(value);
  }
  tree.add(8, 100);
  EXPECT_EQ(tree.getLeafCount(), 21);  // 20 leaves of three, the last one's new leaf
  EXPECT_THAT(valuesOf(tree, 7), ElementsAreArray(values));
  EXPECT_EQ(tree.verify(), std::nullopt);
  tree.remove(7);
  EXPECT_THAT(rangeOf(tree, kMin, kMax), ElementsAre(100));
  EXPECT_EQ(tree.verify(), std::nullopt);
}

}  // namespace
}  // namespace core::csbtree
