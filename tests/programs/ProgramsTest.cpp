// The built programs under hostile command lines and failing standard output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/Graphviz.h"
#include "tests/support/NodeNames.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempFolder.h"

namespace test {
namespace {

using ::testing::HasSubstr;

int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// One clear line on standard error, nothing on standard output, the given exit status, and
// no crash or sanitizer report.
void expectRefusal(const std::vector<std::string>& args, int status) {
  const ProcessResult run = runProgram(WORKLOAD_GENERATOR, args);
  std::string shown;
  for (const std::string& arg : args)
    shown += "'" + arg + "' ";
  ASSERT_TRUE(run.exited) << shown << "signal " << run.signal;
  EXPECT_EQ(run.exitStatus, status) << shown << run.err;
  EXPECT_EQ(run.out, "") << shown;
  if (status == 1) {
    EXPECT_EQ(run.err, "") << shown;
  } else {
    EXPECT_EQ(lineCount(run.err), 1) << shown << run.err;
    EXPECT_THAT(run.err, HasSubstr("k")) << shown;
  }
  EXPECT_THAT(run.err, ::testing::Not(HasSubstr("Sanitizer"))) << shown;
}

TEST(WorkloadGeneratorProgramTest, MalformedNumbersExitTwoWithOneLine) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"1x", "2", "btree"},
                                               {"", "16", "btree"},
                                               {"16", "abc", "csbtree"},
                                               {"+5", "16", "btree"},
                                               {"2147483648", "1", "btree"},
                                               {"16", "-2147483649", "csbtree"},
                                               {"0x10", "16", "btree"}}) {
    expectRefusal(args, 2);
  }
}

TEST(WorkloadGeneratorProgramTest, UnknownTypesExitOneSilently) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"BTREE"}, {"avl"}, {"16", "16", "Btree"}, {""}}) {
    expectRefusal(args, 1);
  }
}

TEST(WorkloadGeneratorProgramTest, ParametersTheTreesRefuseExitTwoWithOneLine) {
  const std::vector<std::pair<std::string, std::string>> btree = {
      {"0", "16"},          {"1", "16"}, {"-1", "16"}, {"-2147483648", "16"}, {"1073741824", "16"},
      {"2147483647", "16"}, {"16", "0"}, {"16", "-5"}, {"16", "2147483647"}};
  for (const auto& [k, kStar] : btree)
    expectRefusal({k, kStar, "btree"}, 2);
  const std::vector<std::pair<std::string, std::string>> csbtree = {
      {"0", "16"}, {"-1", "16"},         {"536870912", "16"}, {"2147483647", "16"},
      {"16", "0"}, {"16", "1073741824"}, {"16", "2147483647"}};
  for (const auto& [k, kStar] : csbtree)
    expectRefusal({k, kStar, "csbtree"}, 2);
}

TEST(WorkloadGeneratorProgramTest, ARefusedParameterIsNamedWithTheTreesOwnMessage) {
  for (const char* type : {"btree", "csbtree"}) {
    const ProcessResult run = runProgram(WORKLOAD_GENERATOR, {"2", "0", type});
    ASSERT_TRUE(run.exited) << type;
    EXPECT_EQ(run.exitStatus, 2) << type;
    EXPECT_EQ(run.out, "") << type;
    EXPECT_EQ(run.err,
              "workload-generator: k_star must be between 1 and 1073741823 (2 x k_star entries per "
              "leaf, counted in 32 bits), got 0\n")
        << type;
  }
}

TEST(ExampleUsageProgramTest, WritesStatisticsAndAGraphThatRenders) {
  const ProcessResult run = runProgram(EXAMPLE_USAGE, {"ignored", "arguments"});
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err, "");
  const std::string leaf = "nodeX1 [shape=record,label=\"{{{5 |26}|{912 |42}}}\"];\n";
  EXPECT_EQ(canonicalNodeNames(run.out),
            "leafUtilization:\tNaN\tleafCount:\t0\telementCount:\t0\t\n"
            "leafUtilization:\t0.0625\tleafCount:\t1\telementCount:\t2\tdigraph g {\n"
            "node [shape=record,height=.1];\n" +
                leaf + leaf + "}\n");

  const std::string graphPath = test::tempPath("example-usage.dot");
  std::ofstream(graphPath) << run.out.substr(run.out.find("digraph"));
  renderWithDot(graphPath);
}

// Standard output that cannot be written: the graph output reports the failure on standard
// error and the program still ends normally, without a signal or a hang.
void expectGracefulFailure(StdoutMode mode, const char* name) {
  const ProcessResult run = runProgram(EXAMPLE_USAGE, {}, mode, 30);
  EXPECT_FALSE(run.timedOut) << name;
  ASSERT_TRUE(run.exited) << name << ": signal " << run.signal;
  EXPECT_EQ(run.exitStatus, 0) << name;
  EXPECT_THAT(run.err, HasSubstr("could not write dotty")) << name;
  EXPECT_THAT(run.err, ::testing::Not(HasSubstr("Sanitizer"))) << name;
}

TEST(ExampleUsageProgramTest, FullClosedOrBrokenStandardOutputIsReportedNotFatal) {
  expectGracefulFailure(StdoutMode::kDevFull, "/dev/full");
  expectGracefulFailure(StdoutMode::kClosed, "closed");
  expectGracefulFailure(StdoutMode::kBrokenPipe, "broken pipe");
}

TEST(MemoryFloorProgramTest, SizesAreStrictDecimalsAndLostOutputFailsWithOneLine) {
  for (const char* size : {"-18446744073709551615", "+1", "0x10", "1 ", "0", "65537", ""}) {
    const ProcessResult run = runProgram(MEMORY_FLOOR, {size});
    EXPECT_EQ(run.exitStatus, 2) << size;
    EXPECT_EQ(run.err, "memory-floor: expected a size in MiB (1 .. 65536), got '" +
                           std::string(size) + "'\n");
    EXPECT_EQ(run.out, "") << size;
  }
  for (const StdoutMode mode : {StdoutMode::kDevFull, StdoutMode::kClosed}) {
    const ProcessResult run = runProgram(MEMORY_FLOOR, {"1"}, mode);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr("could not write")) << run.err;
  }
}

// Runs `script` with bash -c, the scripts' folder as $S and `folder` as $F.
ProcessResult shell(const std::string& script, const std::string& folder) {
  return runProgram("/bin/bash", {"-c", script, "shell", SCRIPTS_DIR, folder});
}

TEST(ScriptsTest, RefusalsSayWhyAndNothingIsLeftBehind) {
  const std::string folder = tempPath();
  std::ofstream(folder + "/empty.csv") << "";
  const ProcessResult typo = shell("S=$1 F=$2; PARTS=huge_pages $S/matrix.sh $F/out", folder);
  EXPECT_EQ(typo.exitStatus, 2);
  EXPECT_THAT(typo.err, HasSubstr("unknown part 'huge_pages'"));
  const ProcessResult empty = shell("$1/plot.sh $2/empty.csv $2/plots", folder);
  EXPECT_EQ(empty.exitStatus, 1);
  EXPECT_THAT(empty.err, HasSubstr("nothing to plot"));
  EXPECT_EQ(lineCount(typo.err) + lineCount(empty.err), 2) << typo.err << empty.err;
  // A relative folder is the caller's.
  const ProcessResult relative =
      shell("cd $2 && BUILD=/nonexistent $1/counts.sh relative 2>/dev/null", folder);
  EXPECT_NE(relative.exitStatus, 0);
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/relative"));
  // A script ended while save runs its command ends the command and removes its partial file.
  const ProcessResult ended = shell(
      "source $1/save.sh; slow() { echo started; sleep 60; }; (save $2/kept.txt slow) & "
      "sleep 1; kill -TERM $!; wait $!; echo status $?",
      folder);
  EXPECT_EQ(ended.out, "started\nstatus 143\n");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"empty.csv", "relative"}));
}

// Ratios are taken within one file; the table puts first the cell where the faster of our trees
// is furthest behind the fastest peer, and a cell without absl is named and left out.
TEST(ScriptsTest, HeatmapTableOrdersOurWorstCellsFirst) {
  const std::string folder = tempPath();
  std::ofstream(folder + "/a.csv") << "# context\n"
                                   << "map,workload,distribution,key_space,median_s\n"
                                   << "btree,read-only,uniform,10000000,2\n"
                                   << "csbtree,read-only,uniform,10000000,1.5\n"
                                   << "abslbtree,read-only,uniform,10000000,2\n"
                                   << "judy,read-only,uniform,10000000,1\n"
                                   << "btree,default,uniform,10000000,1\n"
                                   << "abslbtree,default,uniform,10000000,2\n"
                                   << "btree,default,zipf,10000000,1\n";
  // A second run's absl time does not rescale the first file's cells.
  std::ofstream(folder + "/b.csv") << "map,workload,distribution,key_space,median_s\n"
                                   << "abslbtree,default,uniform,10000000,8\n"
                                   << "judy,default,uniform,10000000,4\n";
  const ProcessResult table = shell("$1/heatmap.sh --table $2/a.csv $2/b.csv", folder);
  EXPECT_EQ(table.exitStatus, 0) << table.err;
  EXPECT_EQ(table.out,
            "| workload | keys | key space | `btree` | `csbtree` | `judy` |\n"
            "|---|---|---|---|---|---|\n"
            "| read-only | uniform | 10^7 | 1.00 | 0.75 | 0.50 |\n"
            "| default | uniform | 10^7 | 0.50 | - | 0.50 |\n");
  EXPECT_THAT(table.err, HasSubstr("no abslbtree time in the cell default, zipf, 10^7"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace test
