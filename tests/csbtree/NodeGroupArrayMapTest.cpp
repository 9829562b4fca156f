#include "core/csbtree/NodeGroupArrayMap.h"

#include <gtest/gtest.h>

#include <initializer_list>
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

CSBTreeNode someGroup(GroupStore& store) {
  return LeafGroup(store).node();
}

TEST(NodeGroupArrayMapTest, IntervalPositionsAreAbsoluteAndEqualKeysGoRight) {
  GroupStore store(1, 1);  // m = 4
  NodeGroupArrayMap map(store, 2, 1);
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
    GroupStore store(2, 1);
    NodeGroupArrayMap map(store, 3, 1);
    const CSBTreeNode before[] = {someGroup(store), someGroup(store), someGroup(store)};
    for (int32_t node = 0; node < 3; ++node)
      map.setChild(node, before[node]);
    putAll(map, 0, {1, 2});
    putAll(map, 1, {10, 20, 30, 40, 50, 60, 70, 80});
    putAll(map, 2, {90});
    const CSBTreeNode added = someGroup(store);
    const GroupHandle old = map.handle();

    const int64_t pos = map.getIntervalPosition(c.key, 1);
    EXPECT_EQ(map.splitNode(c.key, pos, 1, added), c.up);
    EXPECT_NE(map.handle(), old);  // the group has a new block
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
  GroupStore store(1, 1);
  NodeGroupArrayMap map(store, 5, 1);
  std::vector<CSBTreeNode> children;
  for (int32_t node = 0; node < 5; ++node) {
    children.push_back(someGroup(store));
    map.setChild(node, children.back());
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

  NodeGroupArrayMap one(store);
  EXPECT_EQ(one.splitNodeGroup().getNumberOfNodes(), 0);
  EXPECT_EQ(one.getNumberOfNodes(), 1);
}

TEST(NodeGroupArrayMapTest, TextNamesChildGroupsAndTheSentinel) {
  GroupStore store(1, 1);
  NodeGroupArrayMap sentinel(store);
  EXPECT_TRUE(sentinel.getChild(0).isNull());
  EXPECT_EQ(NodeGroup::NULL_NODE.handle(), sentinel.childHandle(0));
  EXPECT_EQ(sentinel.toString(), "NULL | ");
  putAll(sentinel, 0, {1, 2, 3});
  EXPECT_EQ(sentinel.toString(), "NULL | 1.2.3/ ");

  NodeGroupArrayMap map(store, 2, 1);
  const CSBTreeNode first = someGroup(store);
  const CSBTreeNode second = someGroup(store);
  const std::string expected = std::to_string(first.identityNumber()) + " | 5.9/ " +
                               std::to_string(second.identityNumber()) + " | 12/ ";
  map.setChild(0, first);
  map.setChild(1, second);
  putAll(map, 0, {5, 9});
  putAll(map, 1, {12});
  EXPECT_EQ(map.toString(), expected);
}

}  // namespace
}  // namespace core::csbtree
