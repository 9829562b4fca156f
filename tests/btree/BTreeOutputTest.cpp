#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <string>

#include "core/btree/BTree.h"
#include "tests/support/FakeOutputStream.h"
#include "tests/support/Graphviz.h"
#include "tests/support/NodeNames.h"
#include "tests/support/TempFolder.h"
#include "util/FdOutputStream.h"

namespace core::btree {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

std::string canonical(const std::string& text) {
  return test::canonicalNodeNames(text);
}

size_t count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t pos = text.find(piece); pos != std::string::npos; pos = text.find(piece, pos + 1))
    ++n;
  return n;
}

std::string statsLine(BTree& tree) {
  CaptureStdout();
  tree.printStats();
  std::cout.flush();
  return GetCapturedStdout();
}

// The failure reports of one toDot call: what went to standard output and error.
struct DotRun {
  std::string out;
  std::string err;
};

DotRun toDotCapturing(BTree& tree, test::FakeOutputStream& stream) {
  CaptureStdout();
  CaptureStderr();
  tree.toDot(stream);
  std::cout.flush();
  DotRun run;
  run.err = GetCapturedStderr();
  run.out = GetCapturedStdout();
  return run;
}

// k_star 2, keys 1 .. 4: an internal root with key 3 over the leaves [1, 2] and [3, 4].
void fillExample(BTree& tree) {
  for (int32_t key = 1; key <= 4; ++key)
    tree.add(key, key * 10);
}

TEST(BTreeOutputTest, GraphOfATwoLevelTree) {
  BTree tree(2, 2);
  fillExample(tree);
  test::FakeOutputStream stream;
  tree.toDot(stream);
  EXPECT_EQ(canonical(stream.text()),
            "digraph g {\n"
            "node [shape=record,height=.1];\n"
            "nodeX1 [shape=record,label=\"{{<0> |<key0>3|<1>}}\"];\n"
            "\"nodeX1\":0 -> \"nodeX2\";\n"
            "\"nodeX1\":1 -> \"nodeX3\";\n"
            "nodeX2 [shape=record,label=\"{{{1 |10}|{2 |20}}}\"];\n"
            "\"nodeX2\":2 -> \"nodeX3\":0;\n"
            "nodeX3 [shape=record,label=\"{{{3 |30}|{4 |40}}}\"];\n"
            "}\n");
  EXPECT_EQ(stream.writes.size(), 9u);  // one write per line
  EXPECT_EQ(stream.flushes, 1);
  EXPECT_EQ(stream.closes, 1);
}

TEST(BTreeOutputTest, GraphWritesALeafRootTwiceAndChainOnlyLeavesWithoutInternalEdges) {
  BTree tree(2, 2);
  tree.add(5, 50);
  tree.add(7, 70);
  tree.add(6, 60);
  EXPECT_EQ(tree.toString(), "[5=50, 6=60, 7=70]");
  test::FakeOutputStream stream;
  tree.toDot(stream);
  const std::string leaf = "nodeX1 [shape=record,label=\"{{{5 |50}|{6 |60}|{7 |70}}}\"];\n";
  EXPECT_EQ(canonical(stream.text()),
            "digraph g {\nnode [shape=record,height=.1];\n" + leaf + leaf + "}\n");

  // 5 x 4 splits inside the run: the second leaf is reached through the chain only.
  BTree duplicates(2, 2);
  for (int32_t value = 1; value <= 4; ++value)
    duplicates.add(5, value);
  test::FakeOutputStream chain;
  duplicates.toDot(chain);
  const std::string first = "nodeX1 [shape=record,label=\"{{{5 |1}|{5 |2}}}\"];\n";
  const std::string edge = "\"nodeX1\":2 -> \"nodeX2\":0;\n";
  EXPECT_EQ(canonical(chain.text()), "digraph g {\nnode [shape=record,height=.1];\n" + first +
                                         edge + first + edge +
                                         "nodeX2 [shape=record,label=\"{{{5 |3}|{5 |4}}}\"];\n}\n");
}

TEST(BTreeOutputTest, GraphOfATreeWithoutEntriesIsTheFrameAndIsClosed) {
  BTree tree(2, 2);
  test::FakeOutputStream stream;
  tree.toDot(stream);
  EXPECT_EQ(stream.text(), "digraph g {\nnode [shape=record,height=.1];\n}\n");
  EXPECT_EQ(stream.flushes, 1);
  EXPECT_EQ(stream.closes, 1);
}

TEST(BTreeOutputTest, AStreamThatFailsAtOnceIsReportedOnceAndNeitherFlushedNorClosed) {
  BTree tree(2, 2);
  fillExample(tree);
  test::FakeOutputStream stream(0);
  const DotRun run = toDotCapturing(tree, stream);
  EXPECT_EQ(run.out, "could not write dotty\n");
  EXPECT_THAT(run.err, ::testing::HasSubstr("write failed on purpose"));
  EXPECT_EQ(stream.writeCalls, 1);
  EXPECT_EQ(stream.flushes, 0);
  EXPECT_EQ(stream.closes, 0);
}

TEST(BTreeOutputTest, AStreamThatFailsAfterTheHeaderIsReportedByEveryStep) {
  BTree tree(2, 2);
  fillExample(tree);
  test::FakeOutputStream stream(2);
  const DotRun run = toDotCapturing(tree, stream);
  // The root (which then writes no edges), each of the two leaves, and the closing line.
  EXPECT_EQ(count(run.out, "could not write dotty\n"), 4u);
  EXPECT_EQ(run.out.size(), 4 * std::string("could not write dotty\n").size());
  EXPECT_EQ(count(run.err, "could not write dotty: "), 4u);
  EXPECT_EQ(stream.writeCalls, 6);
  EXPECT_EQ(stream.flushes, 0);
  EXPECT_EQ(stream.closes, 0);
}

TEST(BTreeOutputTest, StatisticsLineFollowsTheTree) {
  BTree tree(2, 2);
  EXPECT_EQ(statsLine(tree), "leafUtilization:\tNaN\tleafCount:\t0\telementCount:\t0\t");
  tree.add(1, 1);
  tree.add(2, 2);
  tree.add(3, 3);
  tree.add(4, 4);
  tree.remove(4);
  EXPECT_EQ(statsLine(tree), "leafUtilization:\t0.375\tleafCount:\t2\telementCount:\t3\t");
  for (int32_t key = 1; key <= 3; ++key)
    tree.remove(key);
  EXPECT_EQ(statsLine(tree), "leafUtilization:\t0.0\tleafCount:\t2\telementCount:\t0\t");
  EXPECT_EQ(tree.getElemCount(), 0);
}

TEST(BTreeOutputTest, GraphvizRendersAGraphOfThousandsOfKeysWithDuplicates) {
  BTree tree(16, 16);
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> keys(-1000, 1000);
  for (int32_t value = 0; value < 3000; ++value)
    tree.add(keys(random), value);
  for (int32_t i = 0; i < 500; ++i)
    tree.remove(keys(random));
  ASSERT_EQ(tree.verify(), std::nullopt);

  const std::string graphPath = test::tempPath("btree-random.dot");
  const int fd = ::open(graphPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  util::FdOutputStream out(fd);
  tree.toDot(out);  // closes fd
  test::renderWithDot(graphPath);
}

}  // namespace
}  // namespace core::btree
