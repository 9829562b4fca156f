#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

#include "bench/modes/Check.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

TEST(CheckTest, TheGateHoldsTheBuildsToEveryFigureOfTheValuesTheyPush) {
  const CheckReport here = {{"btree", {100, 5000, 10, 10, 50}}};
  const std::string path = test::tempPath("mapbench_check.json");
  std::ofstream(path) << checkReportJson(here).dump();
  CheckReport read;
  ASSERT_EQ(readCheckReport(path, read), std::nullopt);
  EXPECT_EQ(checkDifference(here, read, {"btree"}), std::nullopt);
  for (const auto& [member, name] :
       {std::pair{&CheckFigures::valuesPushed, "values pushed"},
        std::pair{&CheckFigures::valueSum, "sum of the values"},
        std::pair{&CheckFigures::queries, "queries"}, std::pair{&CheckFigures::size, "size"}}) {
    CheckReport there = here;
    there["btree"].*member += 1;
    EXPECT_THAT(checkDifference(here, there, {"btree"}).value_or(""), ::testing::HasSubstr(name));
  }
  EXPECT_THAT(checkDifference(here, {}, {"btree"}).value_or(""),
              ::testing::HasSubstr("missing from the --check figures of the other build"));
  std::ofstream(path) << "{\"results\": []}";  // a table-only build: no figures
  EXPECT_THAT(readCheckReport(path, read).value_or(""),
              ::testing::HasSubstr("holds no --check figures"));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace bench
