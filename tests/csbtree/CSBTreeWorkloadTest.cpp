// Runs the program's whole default workload on the CSB+-tree (1M + 10M operations).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/DefaultWorkload.h"
#include "workload/TreeMapFactory.h"

namespace test {
namespace {

TEST(CSBTreeWorkloadTest, DefaultRunReachesTheExpectedSizesWithoutWarning) {
  const WorkloadRun run = runDefaultWorkload(createTreeMap);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string>& lines = run.lines;
  ASSERT_EQ(lines.size(), 7u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[2],
            "# desired tree size:\t1000000\ttree size reported by implementation:\t1000000");
  EXPECT_EQ(lines[3],
            "# desired tree size:\t2253649\ttree size reported by implementation:\t2253649");
  EXPECT_TRUE(std::regex_match(
      lines[6], std::regex(R"(Total time for util\.CSBTreeMap: -?\d+\.\d+(E-?\d+)?sec)")))
      << lines[6];
}

}  // namespace
}  // namespace test
