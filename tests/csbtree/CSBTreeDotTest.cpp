#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/csbtree/CSBTree.h"
#include "core/csbtree/LeafGroup.h"
#include "core/csbtree/NodeGroup.h"
#include "tests/support/CapturedStream.h"
#include "tests/support/FakeOutputStream.h"
#include "tests/support/Graphviz.h"
#include "tests/support/TempFolder.h"
#include "util/FdOutputStream.h"

namespace core::csbtree {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kHeader = "digraph g {\nnode [shape=record,height=.1];\n";

std::string id(CSBTreeNode group) {
  return std::to_string(group.identityNumber());
}

TEST(CSBTreeDotTest, GroupsWriteTheirRecordsInsideTheFrame) {
  CSBTree tree(1, 1);
  for (int32_t key = 1; key <= 6; ++key)
    tree.add(key, key * 10);
  tree.remove(5);
  const CSBTreeNode root = tree.getRoot();
  const CSBTreeNode middle = NodeGroup(root).getEntries().getChild(0);
  const CSBTreeNode first = tree.getFirstLeaf();
  const CSBTreeNode second = LeafGroup(first).getNextLeafGroup();

  test::FakeOutputStream out;
  tree.toDot(out);
  EXPECT_THAT(
      out.writes,
      ElementsAre(
          "digraph g {\n", "node [shape=record,height=.1];\n",
          "groupX" + id(root) + " [shape=record,label=\"{{4}|<n0> }\"];\n",
          "\"groupX" + id(root) + "\":n0 -> \"groupX" + id(middle) + "\";\n",
          "groupX" + id(middle) + " [shape=record,label=\"{{2|3}|<n0> }|{{5|6}|<n1> }\"];\n",
          "\"groupX" + id(middle) + "\":n0 -> \"groupX" + id(first) + "\";\n",
          "\"groupX" + id(middle) + "\":n1 -> \"groupX" + id(second) + "\";\n",
          "groupX" + id(first) +
              " [shape=record,label=\"{<l0> |{{1 |10}}}|{<l1> |{{2 |20}}}|{<l2> |{{3 |30}}}\"];\n",
          "\"groupX" + id(first) + "\":l2 -> \"groupX" + id(second) + "\":l0;\n",
          "groupX" + id(second) +
              " [shape=record,label=\"{<l0> |{{4 |40}}}|{<l1> |{}}|{<l2> |{{6 |60}}}\"];\n",
          "}\n"));
  EXPECT_EQ(out.flushes, 1);
  EXPECT_EQ(out.closes, 1);
}

TEST(CSBTreeDotTest, RootLeafGroupIsWrittenByTheRootAndAgainByTheChainWalk) {
  CSBTree tree(1, 2);
  tree.add(1, 10);
  test::FakeOutputStream out;
  tree.toDot(out);
  const std::string record =
      "groupX" + id(tree.getRoot()) + " [shape=record,label=\"{<l0> |{{1 |10}}}\"];\n";
  EXPECT_EQ(out.text(), kHeader + record + record + "}\n");
}

TEST(CSBTreeDotTest, AnIOErrorEndsTheOutputWithOneMessageAndTheStreamIsNotClosed) {
  CSBTree tree(1, 1);
  for (int32_t key = 1; key <= 6; ++key)
    tree.add(key, key);

  struct Case {
    const char* what;
    int failFromWrite;
    bool failFlush;
    bool failClose;
    size_t written;
    int flushes;
    int closes;
  };
  const Case cases[] = {
      {"first write", 0, false, false, 0, 0, 0},
      {"first group record", 2, false, false, 2, 0, 0},
      {"flush", -1, true, false, 11, 1, 0},
      {"close", -1, false, true, 11, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeOutputStream out;
    out.failFromWrite = c.failFromWrite;
    out.failFlush = c.failFlush;
    out.failClose = c.failClose;
    test::CapturedStream cout(std::cout);
    test::CapturedStream cerr(std::cerr);
    tree.toDot(out);
    EXPECT_EQ(cout.str(), "could not write dotty\n");
    EXPECT_THAT(cerr.str(), StartsWith("could not write dotty: "));
    EXPECT_THAT(cerr.str(), HasSubstr("failed on purpose"));
    EXPECT_EQ(out.writes.size(), c.written);
    EXPECT_EQ(out.failedWrites, c.failFromWrite >= 0 ? 1 : 0);  // nothing tried after it
    EXPECT_EQ(out.flushes, c.flushes);
    EXPECT_EQ(out.closes, c.closes);
  }
}

TEST(CSBTreeDotTest, GraphvizRendersATreeOfThousandsOfKeys) {
  CSBTree tree(2, 3);
  for (int32_t i = 0; i < 3000; ++i)
    tree.add((i * 7919) % 4001 - 2000, i);  // scattered keys, negative ones too
  for (int32_t key = -2000; key < 0; key += 3)
    tree.remove(key);  // leaves some leaves empty

  const std::filesystem::path dir = test::tempPath();
  const std::filesystem::path dotFile = dir / "tree.dot";
  const int fd = ::open(dotFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  util::FdOutputStream out(fd);
  tree.toDot(out);  // closes fd
  const test::DotRender render = test::renderWithDot(dotFile.string());
  EXPECT_EQ(render.messages, "") << "dot complained";
  EXPECT_THAT(render.image, HasSubstr("groupX" + id(tree.getFirstLeaf())));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace core::csbtree
