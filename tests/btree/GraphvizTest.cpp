#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "core/btree/BTree.h"
#include "tests/btree/NodeNames.h"
#include "util/FdOutputStream.h"

namespace core::btree {
namespace {

// Runs a shell command; returns its standard output and sets `status` to its exit status.
std::string run(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Renders a graph file to SVG with Graphviz; fails the test when dot does not accept it.
void expectRenders(const std::string& graphPath) {
  const std::string svgPath = graphPath + ".svg";
  int status = 0;
  const std::string messages = run(
      std::string(DOT_EXECUTABLE) + " -Tsvg '" + graphPath + "' -o '" + svgPath + "' 2>&1", status);
  EXPECT_EQ(status, 0) << messages;
  EXPECT_THAT(readFile(svgPath), ::testing::HasSubstr("</svg>"));
}

TEST(GraphvizTest, ExampleUsagePrintsItsSixLinesAndAGraphThatRenders) {
  int status = 0;
  const std::string output = run(std::string(EXAMPLE_USAGE) + " some arguments", status);
  EXPECT_EQ(status, 0);
  const std::string leaf = "nodeX1 [shape=record,label=\"{{{5 |26}|{912 |42}}}\"];\n";
  EXPECT_EQ(test::canonicalNodeNames(output),
            "leafUtilization:\tNaN\tleafCount:\t0\telementCount:\t0\t\n"
            "leafUtilization:\t0.0625\tleafCount:\t1\telementCount:\t2\tdigraph g {\n"
            "node [shape=record,height=.1];\n" +
                leaf + leaf + "}\n");

  const std::string graphPath = ::testing::TempDir() + "example-usage.dot";
  std::ofstream(graphPath) << output.substr(output.find("digraph"));
  expectRenders(graphPath);
}

TEST(GraphvizTest, AGraphOfThousandsOfKeysWithDuplicatesRenders) {
  BTree tree(16, 16);
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> keys(-1000, 1000);
  for (int32_t value = 0; value < 3000; ++value)
    tree.add(keys(random), value);
  for (int32_t i = 0; i < 500; ++i)
    tree.remove(keys(random));
  ASSERT_EQ(tree.verify(), std::nullopt);

  const std::string graphPath = ::testing::TempDir() + "btree-random.dot";
  const int fd = ::open(graphPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  util::FdOutputStream out(fd);
  tree.toDot(out);  // closes fd
  expectRenders(graphPath);
}

}  // namespace
}  // namespace core::btree
