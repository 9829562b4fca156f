#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/support/RecordingTarget.h"
#include "tests/support/TempFolder.h"
#include "workload/KeyChoosers.h"
#include "workload/KeyFile.h"
#include "workload/KeyFlags.h"
#include "workload/OperationStream.h"
#include "workload/SyntheticKeys.h"
#include "workload/Zipf.h"

namespace test {
namespace {

TEST(SyntheticKeysTest, EachShapeIsAFunctionOfTheSeedWithExactlyTheKeysAsked) {
  constexpr int64_t kCount = 20000;
  for (KeyShape shape : kKeyShapes) {
    SCOPED_TRACE(std::string(keyShapeName(shape)));
    const std::vector<uint32_t> keys = syntheticKeys(shape, kCount, 1);
    ASSERT_EQ(std::ssize(keys), kCount);
    EXPECT_TRUE(std::adjacent_find(keys.begin(), keys.end(), std::greater_equal<>()) == keys.end());
    EXPECT_EQ(syntheticKeys(shape, kCount, 1), keys);
    EXPECT_NE(syntheticKeys(shape, kCount, 2), keys);
    EXPECT_EQ(parseKeyShape(keyShapeName(shape)), shape);

    // Written as SOSD and read back, the keys keep their order, 2^31 lower.
    const std::string path = test::tempPath("synthetic_keys");
    std::ofstream(path, std::ios::binary) << [&] {
      std::ostringstream out;
      writeSosd(out, keys, 64);
      return out.str();
    }();
    auto read = readKeyFile(path, KeyFormat::kSosd64);
    ASSERT_TRUE(std::holds_alternative<KeyFile>(read));
    EXPECT_EQ(std::get<KeyFile>(read).keys.front(),
              static_cast<int32_t>(keys.front() ^ (1u << 31)));
    EXPECT_EQ(std::get<KeyFile>(read).keys.size(), keys.size());
    std::remove(path.c_str());
  }
  // The shapes differ where they should: breaks between runs of consecutive keys, and spread.
  auto breaks = [](const std::vector<uint32_t>& keys) {
    int64_t count = 0;
    for (size_t i = 1; i < keys.size(); ++i)
      count += keys[i] != keys[i - 1] + 1;
    return count;
  };
  const std::vector<uint32_t> dense = syntheticKeys(KeyShape::kDense, kCount, 3);
  const std::vector<uint32_t> clustered = syntheticKeys(KeyShape::kClustered, kCount, 3);
  const std::vector<uint32_t> sparse = syntheticKeys(KeyShape::kSparse, kCount, 3);
  EXPECT_EQ(breaks(dense), 0);
  EXPECT_GT(breaks(clustered), 10);
  EXPECT_LT(breaks(clustered), kCount / 100);
  EXPECT_GT(breaks(sparse), kCount - 10);
  EXPECT_GT(sparse.back() - sparse.front(), 0xF000'0000u);
  const std::vector<uint32_t> lognormal = syntheticKeys(KeyShape::kLognormal, kCount, 3);
  EXPECT_NEAR(lognormal[kCount / 2], 1 << 26, 1 << 22);  // the median is 2^26

  // A million normal keys collide hundreds of times: the redrawn keys join the kept ones in
  // order, with no duplicate.
  const std::vector<uint32_t> redrawn = syntheticKeys(KeyShape::kNormal, 1 << 20, 5);
  ASSERT_EQ(std::ssize(redrawn), 1 << 20);
  EXPECT_TRUE(std::adjacent_find(redrawn.begin(), redrawn.end(), std::greater_equal<>()) ==
              redrawn.end());
}

}  // namespace
}  // namespace test
