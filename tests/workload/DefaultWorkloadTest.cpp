// Runs the program's whole default workload (1M + 10M operations on each map) end to end.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "maps/StdTreeMap.h"
#include "tests/support/DefaultWorkload.h"

namespace test {
namespace {

TEST(DefaultWorkloadTest, BaselineMapReachesTheExpectedSizesAndTheReportIsComplete) {
  const TreeMapFactory stdTreeMaps = [](const std::string& type, int32_t,
                                        int32_t) -> std::optional<TreeMapChoice> {
    if (type != "csbtree")
      return std::nullopt;
    return TreeMapChoice{std::make_unique<util::StdTreeMap>(), "util.StdTreeMap"};
  };
  const WorkloadRun run = runDefaultWorkload(stdTreeMaps);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string>& lines = run.lines;
  ASSERT_EQ(lines.size(), 7u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], "# desired tree size:\t1000000\ttree size reported by implementation:\t-1");
  EXPECT_EQ(lines[1], "# desired tree size:\t2253649\ttree size reported by implementation:\t-1");
  EXPECT_EQ(lines[2],
            "# desired tree size:\t1000000\ttree size reported by implementation:\t1000000");
  EXPECT_EQ(lines[3],
            "# desired tree size:\t2253649\ttree size reported by implementation:\t2253649");
  const std::regex time(R"(Time: \d+\.\d+(E-?\d+)?sec)");
  EXPECT_TRUE(std::regex_match(lines[4], time)) << lines[4];
  EXPECT_TRUE(std::regex_match(lines[5], time)) << lines[5];
  EXPECT_TRUE(std::regex_match(
      lines[6], std::regex(R"(Total time for util\.StdTreeMap: -?\d+\.\d+(E-?\d+)?sec)")))
      << lines[6];
}

}  // namespace
}  // namespace test
