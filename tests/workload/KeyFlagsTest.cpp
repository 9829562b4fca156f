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
#include "workload/KeyChoosers.h"
#include "workload/KeyFile.h"
#include "workload/KeyFlags.h"
#include "workload/OperationStream.h"
#include "workload/SyntheticKeys.h"
#include "workload/Zipf.h"

namespace test {
namespace {

TEST(KeyFlagsTest, BitsAtWordBoundariesAreIndependent) {
  BitKeyFlags present(130);
  for (int32_t key : {0, 63, 64, 129})
    present.insert(key);
  present.erase(64);
  for (int32_t key = 0; key < 130; ++key)
    EXPECT_EQ(present.contains(key), key == 0 || key == 63 || key == 129) << key;
  EXPECT_EQ(BitKeyFlags::bytesFor(1'000'000'001), 125'000'008);
}

}  // namespace
}  // namespace test
