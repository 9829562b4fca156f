// Runs the program's whole default workload on the CSB+-tree (1M + 10M operations).
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "workload/TreeMapFactory.h"
#include "workload/WorkloadGenerator.h"

namespace test {
namespace {

TEST(CSBTreeWorkloadTest, DefaultRunReachesTheExpectedSizesWithoutWarning) {
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(WorkloadGenerator::main({}, createTreeMap, out, err), 0);
  EXPECT_EQ(err.str(), "");
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  ASSERT_EQ(lines.size(), 7u) << out.str();
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
