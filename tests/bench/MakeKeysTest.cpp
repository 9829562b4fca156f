// make-keys, end to end: its numbers and the files it writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/FileContent.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempFolder.h"

namespace {

using test::contentOf;

test::ProcessResult makeKeys(const std::vector<std::string>& args) {
  return test::runProgram(MAKE_KEYS_EXECUTABLE, args);
}

TEST(MakeKeysTest, NumbersAreDecimalEvenWithLeadingZerosAndAnythingElseIsRefused) {
  const std::string path = test::tempPath("make_keys_numbers_uint32");
  std::remove(path.c_str());
  // Each refusal is one line and exit status 2, and writes nothing.
  const std::vector<std::vector<std::string>> refused = {
      {"sparse", "0", path},
      {"sparse", "000", path},
      {"sparse", "", path},
      {"sparse", "-1", path},
      {"sparse", "+5", path},
      {"sparse", "0x20", path},
      {"sparse", "32.0", path},
      {"sparse", " 5", path},
      {"sparse", "1e3", path},
      {"sparse", "99999999999999999999999", path},
      {"normal", "268435457", path},  // beyond the shape's most
      {"sparse", "10", ""},
      {"sparse", "10", path, "--bits", ""},
      {"sparse", "10", path, "--bits", "0x20"},
      {"sparse", "10", path, "--bits", "32.0"},
      {"sparse", "10", path, "--bits", "16"},
      {"sparse", "10", path, "--seed", ""},
      {"sparse", "10", path, "--seed", "-1"},
      {"sparse", "10", path, "--seed", "18446744073709551616"},
      {"sparse", "10", path, "--seed", "0x10"},
      {"sparse", "10", path, "--seed", "1.5"},
  };
  for (const std::vector<std::string>& args : refused) {
    const test::ProcessResult result = makeKeys(args);
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_FALSE(std::filesystem::exists(path));
  }

  // Leading zeros are decimal: 010 keys are ten, seed 010 is seed 10, 064 bits are 64.
  ASSERT_EQ(makeKeys({"sparse", "010", path, "--seed", "010", "--bits", "064"}).exitStatus, 0);
  const std::string written = contentOf(path);
  EXPECT_EQ(written.size(), 8u + 10 * 8);
  EXPECT_EQ(written[0], 10);
  ASSERT_EQ(makeKeys({"sparse", "10", path, "--seed", "10", "--bits", "64"}).exitStatus, 0);
  EXPECT_EQ(contentOf(path), written);
  ASSERT_EQ(makeKeys({"sparse", "10", path, "--seed", "8", "--bits", "64"}).exitStatus, 0);
  EXPECT_NE(contentOf(path), written);
  EXPECT_EQ(makeKeys({"sparse", "1", path, "--seed", "18446744073709551615"}).exitStatus, 0);
  EXPECT_EQ(contentOf(path).size(), 8u + 4);
  std::remove(path.c_str());
}

}  // namespace
