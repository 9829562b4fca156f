#include "bench/model/KeySetOption.h"
#include "bench/model/WorkloadFields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

TEST(KeySetOptionTest, ASetAsLargeAsTheFillIsUsedAndOneKeyFewerIsRefused) {
  const std::string path = test::tempPath("key_set_option.txt");
  std::ofstream(path) << "50\n10\n40\n20\n30\n10\n";  // five distinct keys
  WorkloadConfig config;
  config.fillOperations = 5;
  EXPECT_EQ(useKeyFile(path, "", config), std::nullopt);
  EXPECT_EQ(workloadRefusal(config), std::nullopt);
  EXPECT_EQ(config.keySpace, 4);  // slots 0 .. 4
  ASSERT_NE(config.keySet, nullptr);
  EXPECT_EQ(config.keySet->keys, (std::vector<int32_t>{10, 20, 30, 40, 50}));

  WorkloadConfig more;
  more.fillOperations = 6;
  EXPECT_EQ(useKeyFile(path, "", more), std::nullopt);
  EXPECT_THAT(workloadRefusal(more).value_or(""),
              ::testing::HasSubstr("holds 5 distinct keys, fewer than the fill's 6"));
  std::ofstream(path) << "7\n007\n";  // one key, however it is written
  EXPECT_THAT(useKeyFile(path, "text", more).value_or(""),
              ::testing::HasSubstr("holds 1 distinct key, fewer than the 2"));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace bench
