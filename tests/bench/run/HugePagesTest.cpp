#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "bench/run/HugePages.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

TEST(HugePagesTest, TunableJoinsTheOthersAndOnlyAnActivePolicyCounts) {
  EXPECT_EQ(tunablesWithHugePages(std::nullopt), "glibc.malloc.hugetlb=1");
  EXPECT_EQ(tunablesWithHugePages("glibc.malloc.arena_max=1"),
            "glibc.malloc.arena_max=1:glibc.malloc.hugetlb=1");
  const std::string policy = test::tempPath("mapbench_thp_policy");
  for (const auto& [text, usable] :
       {std::pair{"always [madvise] never", true}, std::pair{"[always] madvise never", true},
        std::pair{"always madvise [never]", false}}) {
    std::ofstream(policy) << text << "\n";
    EXPECT_EQ(hugePagesUnavailable(policy).has_value(), !usable) << text;
  }
  std::remove(policy.c_str());
  EXPECT_THAT(hugePagesUnavailable(policy).value_or(""), ::testing::HasSubstr("cannot be read"));
}

}  // namespace
}  // namespace bench
