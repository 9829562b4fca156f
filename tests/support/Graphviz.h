// Renders a graph file with Graphviz's dot, as a user of the trees' graph output would,
// and checks that dot accepts it. The dot executable's path comes from the build
// (MAPBENCH_DOT_EXECUTABLE).
#ifndef TESTS_SUPPORT_GRAPHVIZ_H_
#define TESTS_SUPPORT_GRAPHVIZ_H_

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/Subprocess.h"

namespace test {

// What dot made of a graph: the SVG image and its messages (warnings) on standard error.
struct DotRender {
  std::string image;
  std::string messages;
};

// Renders `graphPath` to SVG next to it; fails the test unless dot exits with status 0 and
// writes an image.
inline DotRender renderWithDot(const std::string& graphPath) {
  const std::string svgPath = graphPath + ".svg";
  const ProcessResult run =
      runProgram(MAPBENCH_DOT_EXECUTABLE, {"-Tsvg", graphPath, "-o", svgPath});
  EXPECT_TRUE(run.exited) << "dot ended by signal " << run.signal;
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  std::ifstream svg(svgPath);
  DotRender render{std::string(std::istreambuf_iterator<char>(svg), {}), run.err};
  EXPECT_THAT(render.image, ::testing::HasSubstr("</svg>"));
  return render;
}

}  // namespace test

#endif  // TESTS_SUPPORT_GRAPHVIZ_H_
