#include "core/csbtree/NodeGroupArrayMap.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/NodeGroup.h"

namespace core::csbtree {
namespace {

std::vector<int32_t> keysOf(const NodeGroupArrayMap& map, int32_t node) {
  std::vector<int32_t> keys;
  for (int32_t i = 0; i < map.keyCount(node); ++i)
    keys.push_back(map.keyAt(node, i));
  return keys;
}

void putAll(NodeGroupArrayMap& map, int32_t node, std::initializer_list<int32_t> keys) {
  for (int32_t key : keys)
    map.put(key, map.keyCount(node), node);
}

std::unique_ptr<CSBTreeNode> someGroup() {
  return std::make_unique<LeafGroup>(1, 1);
}

TEST(NodeGroupArrayMapTest, IntervalPositionsAreAbsoluteAndEqualKeysGoRight) {
  NodeGroupArrayMap map(4, 2);
  EXPECT_EQ(map.getIntervalPosition(7, 1), -1);
  EXPECT_EQ(map.getFirstIntervalPosition(7, 1), -1);
  EXPECT_EQ(map.lastChildFor(7, 1), 0);

  putAll(map, 1, {10, 20, 30});
  EXPECT_EQ(map.getIntervalPosition(5, 1), 4);
  EXPECT_EQ(map.getIntervalPosition(20, 1), 6);
  EXPECT_EQ(map.getIntervalPosition(25, 1), 6);
  EXPECT_EQ(map.getIntervalPosition(40, 1), 7);
  EXPECT_EQ(map.getFirstIntervalPosition(20, 1), 5);
  EXPECT_EQ(map.firstChildFor(25, 1), 2);

  // Equal separators: the bisection meets the middle 5 first; an insertion goes right of all
  // of them, a lookup left of all of them.
  putAll(map, 0, {5, 5, 5});
  EXPECT_EQ(map.getIntervalPosition(5, 0), 2);
  EXPECT_EQ(map.lastChildFor(5, 0), 3);
  EXPECT_EQ(map.getFirstIntervalPosition(5, 0), 0);
}

TEST(NodeGroupArrayMapTest, BinarySearchReturnsTheFirstHitOfTheBisection) {
  const int32_t a[] = {5, 5, 5};
  EXPECT_EQ(NodeGroupArrayMap::binarySearch(a, 5, 0, 2), 1);
  EXPECT_EQ(NodeGroupArrayMap::binarySearch(a, 6, 0, 2), -4);
  EXPECT_EQ(NodeGroupArrayMap::binarySearch(a, 4, 0, 2), -1);
  EXPECT_EQ(NodeGroupArrayMap::binarySearch(a, 5, 2, 1), -3);  // high < low
}

struct SplitCase {
  int32_t key;
  std::vector<int32_t> left;
  int32_t up;
  std::vector<int32_t> right;
};

TEST(NodeGroupArrayMapTest, SplitNodeInTheThreeCases) {
  const SplitCase cases[] = {
      {5, {5, 10, 20, 30}, 40, {50, 60, 70, 80}},    // the new key stays left
      {45, {10, 20, 30, 40}, 45, {50, 60, 70, 80}},  // the new key moves up
      {85, {10, 20, 30, 40}, 50, {60, 70, 80, 85}},  // the new key goes right
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.key);
    // Node 1 of three is full (m = 8); nodes 0 and 2 must come through untouched.
    NodeGroupArrayMap map(8, 3);
    std::unique_ptr<CSBTreeNode> children[] = {someGroup(), someGroup(), someGroup()};
    const CSBTreeNode* before[] = {children[0].get(), children[1].get(), children[2].get()};
    for (int32_t node = 0; node < 3; ++node)
      map.setChild(node, std::move(children[node]));
    putAll(map, 0, {1, 2});
    putAll(map, 1, {10, 20, 30, 40, 50, 60, 70, 80});
    putAll(map, 2, {90});
    auto newChild = someGroup();
    const CSBTreeNode* added = newChild.get();

    const int64_t pos = map.getIntervalPosition(c.key, 1);
    EXPECT_EQ(map.splitNode(c.key, pos, 1, std::move(newChild)), c.up);
    ASSERT_EQ(map.getNumberOfNodes(), 4);
    EXPECT_EQ(keysOf(map, 0), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(keysOf(map, 1), c.left);
    EXPECT_EQ(keysOf(map, 2), c.right);
    EXPECT_EQ(keysOf(map, 3), (std::vector<int32_t>{90}));
    EXPECT_EQ(map.getChild(0), before[0]);
    EXPECT_EQ(map.getChild(1), before[1]);
    EXPECT_EQ(map.getChild(2), added);
    EXPECT_EQ(map.getChild(3), before[2]);
  }
}

TEST(NodeGroupArrayMapTest, SplitNodeGroupKeepsTheLowerHalfRoundedUp) {
  NodeGroupArrayMap map(2, 5);
  std::vector<const CSBTreeNode*> children;
  for (int32_t node = 0; node < 5; ++node) {
    auto child = someGroup();
    children.push_back(child.get());
    map.setChild(node, std::move(child));
    putAll(map, node, {node * 10, node * 10 + 1});
  }
  NodeGroupArrayMap upper = map.splitNodeGroup();
  ASSERT_EQ(map.getNumberOfNodes(), 3);
  ASSERT_EQ(upper.getNumberOfNodes(), 2);
  EXPECT_EQ(keysOf(map, 2), (std::vector<int32_t>{20, 21}));
  EXPECT_EQ(keysOf(upper, 0), (std::vector<int32_t>{30, 31}));
  EXPECT_EQ(keysOf(upper, 1), (std::vector<int32_t>{40, 41}));
  EXPECT_EQ(map.getChild(2), children[2]);
  EXPECT_EQ(upper.getChild(0), children[3]);
  EXPECT_EQ(upper.getChild(1), children[4]);

  NodeGroupArrayMap one(2);
  EXPECT_EQ(one.splitNodeGroup().getNumberOfNodes(), 0);
  EXPECT_EQ(one.getNumberOfNodes(), 1);
}

TEST(NodeGroupArrayMapTest, TextNamesChildGroupsAndTheSentinel) {
  NodeGroupArrayMap sentinel(4);
  EXPECT_EQ(sentinel.getChild(0), &NodeGroup::NULL_NODE);
  EXPECT_EQ(sentinel.toString(), "NULL | ");
  putAll(sentinel, 0, {1, 2, 3});
  EXPECT_EQ(sentinel.toString(), "NULL | 1.2.3/ ");

  NodeGroupArrayMap map(4, 2);
  auto first = someGroup();
  auto second = someGroup();
  const std::string expected = std::to_string(first->identityNumber()) + " | 5.9/ " +
                               std::to_string(second->identityNumber()) + " | 12/ ";
  map.setChild(0, std::move(first));
  map.setChild(1, std::move(second));
  putAll(map, 0, {5, 9});
  putAll(map, 1, {12});
  EXPECT_EQ(map.toString(), expected);
}

}  // namespace
}  // namespace core::csbtree
