#include "bench/output/ResultFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/FileContent.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

using test::contentOf;

// A fresh folder holding old.json, old.csv and old_uint32, each with a line of old text.
std::string folderWithOldFiles() {
  const std::string folder = test::tempPath();
  for (const char* file : {"/old.json", "/old.csv", "/old_uint32"})
    std::ofstream(folder + file) << "old\n";
  return folder;
}

constexpr const char* kSmallRun = "--key-space 20000 --fill 2000 --ops 20000 --no-progress -r 1";

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> list;
  std::istringstream in(text);
  for (std::string word; in >> word;)
    list.push_back(word);
  return list;
}

TEST(ResultFilesTest, AWriteThatFailsMidwayLeavesTheOldFileOfEveryProgram) {
  const std::string folder = folderWithOldFiles();
  const std::string report = folder + "/report.json";  // written before the limit applies
  ASSERT_EQ(test::runProgram(MAPBENCH_EXECUTABLE,
                             words(std::string(kSmallRun) + " -m stdmap --json " + report))
                .exitStatus,
            0);
  const struct {
    const char* program;
    std::string arguments, written;
  } cases[] = {
      {MAPBENCH_EXECUTABLE, std::string(kSmallRun) + " -m btree,csbtree,stdmap --json ",
       "old.json"},
      {MAPBENCH_EXECUTABLE, std::string(kSmallRun) + " -m btree,csbtree,stdmap,abslbtree --csv ",
       "old.csv"},
      {MAPBENCH_EXECUTABLE, "compare " + report + " " + report + " --json ", "old.json"},
      {MAKE_KEYS_EXECUTABLE, "dense 100000 ", "old_uint32"},
      {MAKE_KEYS_EXECUTABLE, "sparse 1000 --bits 64 ", "old_uint32"},
  };
  for (const auto& c : cases) {
    const std::string path = folder + "/" + c.written;
    SCOPED_TRACE(c.arguments + path);
    const test::ProcessResult result = test::runProgram(c.program, words(c.arguments + path),
                                                        test::StdoutMode::kCapture, 300, 1024);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_THAT(result.err, ::testing::HasSubstr("could not write " + path + ": " +
                                                 std::strerror(EFBIG) + "\n"));
    EXPECT_EQ(contentOf(path), "old\n");
    // Nothing else is left in the folder: the temporary file is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 4);
  }
}

TEST(ResultFilesTest, AnOutputThatNamesAnInputOrAnotherOutputIsRefusedBeforeAnyRun) {
  const std::string folder = folderWithOldFiles();
  const std::string json = folder + "/old.json", keys = folder + "/keys_uint32";
  ASSERT_EQ(test::runProgram(MAKE_KEYS_EXECUTABLE, {"sparse", "30000", keys}).exitStatus, 0);
  fs::create_hard_link(json, folder + "/linked.json");
  const std::string keysBefore = contentOf(keys);
  for (const std::string& arguments :
       {"--json " + json + " --csv " + json, "--json " + json + " --csv " + folder + "/./old.json",
        "--json " + folder + "/new.json --csv " + folder + "/sub/../new.json",
        "--json " + folder + "/linked.json --csv " + json, "--keys " + keys + " --csv " + keys,
        "compare " + json + " " + folder + "/old.csv --json " + json,
        "compare " + folder + "/old.csv " + json + " --json " + folder + "/linked.json"}) {
    SCOPED_TRACE(arguments);
    const bool compare = arguments.rfind("compare", 0) == 0;
    const test::ProcessResult result = test::runProgram(
        MAPBENCH_EXECUTABLE, words(compare ? arguments : "--fill 2000 --no-progress " + arguments));
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.err, ::testing::HasSubstr("names the same file as"));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(contentOf(json), "old\n");
  EXPECT_EQ(contentOf(keys), keysBefore);
  EXPECT_FALSE(fs::exists(folder + "/new.json"));
  // An output in a folder that does not exist, found before the first run.
  const std::string missing = folder + "/missing/out.json";
  for (const std::string& arguments :
       {"--ops 1000000000 --json " + missing, "--check --csv " + missing,
        "compare " + json + " " + json + " --json " + missing}) {
    SCOPED_TRACE(arguments);
    const test::ProcessResult result = test::runProgram(MAPBENCH_EXECUTABLE, words(arguments));
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.err, ::testing::EndsWith(": could not write " + missing + ": " +
                                                std::strerror(ENOENT) + "\n"));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
}  // namespace bench
