#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/run/ChildProcess.h"
#include "tests/support/Subprocess.h"

namespace bench {
namespace {

using ::testing::HasSubstr;

TEST(ChildProcessTest, QuotesTheLastLineWithTextBoundedAndPrintable) {
  EXPECT_EQ(lastLine("first\nvalgrind: out of memory  \r\n \t\n\n"), "valgrind: out of memory");
  EXPECT_EQ(lastLine("bell\a and \x1b[2J\n"), "bell? and ?[2J");
  EXPECT_EQ(lastLine(std::string(400, 'x'), 300), std::string(300, 'x') + "...");
  EXPECT_EQ(lastLine(" \n\t\n"), "");
}

TEST(ChildProcessTest, TempDirectoryIsRemovedWithItsFiles) {
  std::string file;
  {
    const TempDirectory directory("mapbench-test");
    ASSERT_TRUE(directory.ok());
    file = directory.file("result");
    std::ofstream(file) << "figures";
    ASSERT_TRUE(std::filesystem::exists(file));
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(file).parent_path()));
}
// The pid a child wrote to `path`, or 0.
pid_t pidIn(const std::string& path) {
  pid_t pid = 0;
  std::ifstream(path) >> pid;
  return pid;
}

TEST(ChildProcessTest, EachLimitEndsTheChildsWholeGroupWithOneLine) {
  const TempDirectory directory("mapbench-child-test");
  ASSERT_TRUE(directory.ok());
  const std::string pidFile = directory.file("pid");
  // A shell that leaves a grandchild in its group, then waits: only the group's end stops both.
  const std::string hang = "sleep 600 & echo $! > " + pidFile + "; wait";
  ChildRequest timed{.argv = {"/bin/sh", "-c", hang}, .timeLimitSeconds = 1};
  ChildRequest flood{.argv = {"/bin/sh", "-c", "exec yes flood"}};
  ChildRequest errorFlood{.argv = {"/bin/sh", "-c", "exec yes flood >&2"}};
  ChildRequest files{.argv = {"/bin/sh", "-c",
                              "head -c 3000000 /dev/zero > " + directory.file("big") + "; " + hang},
                     .folder = directory.path(),
                     .folderBound = int64_t{1} << 20};
  for (const auto& [request, said] :
       {std::pair{timed, "did not finish within the time limit of 1 s"},
        std::pair{flood, "wrote more than 1 MiB to its standard output"},
        std::pair{errorFlood, "wrote more than 1 MiB to its standard error"},
        std::pair{files, "wrote more than 1 MiB of files"}}) {
    std::remove(pidFile.c_str());
    const ChildRun run = runChild(request);
    EXPECT_FALSE(run.ok);
    EXPECT_THAT(run.failure, HasSubstr(said));
    if (const pid_t grandchild = pidIn(pidFile); grandchild > 0) {
      EXPECT_TRUE(test::processEnded(grandchild)) << said << ": " << grandchild << " still runs";
    }
  }
}

TEST(ChildProcessTest, AForkedBodyEndsWithItsStatusAndItsLastLineIsQuoted) {
  const ChildRun done = runChild({.body = [] {
    std::cout << "result";
    return 0;
  }});
  EXPECT_TRUE(done.ok) << done.failure;
  EXPECT_EQ(done.out, "result");
  const ChildRun failed = runChild({.body = [] {
    std::cerr << "first\nthe reason\n";
    return 3;
  }});
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.failure, "exit status 3: the reason");
}

}  // namespace
}  // namespace bench
