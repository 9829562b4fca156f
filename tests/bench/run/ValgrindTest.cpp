#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "bench/run/Valgrind.h"

namespace bench {
namespace {

// A callgrind output file as valgrind 3.19 writes it, with the cache events simulated;
// trailing zeros of the totals are left out as callgrind does.
constexpr const char* kCallgrindOutput =
    "# callgrind format\nversion: 1\ncreator: callgrind-3.19.0\n"
    "desc: D1 cache: 32768 B, 64 B, 8-way associative\n"
    "events: Ir Dr Dw I1mr D1mr D1mw ILmr DLmr DLmw\nsummary: 0\n\n"
    "fn=(1) main\n16 3 1\n"
    "totals: 119305480 28008118 9264434 212 1029675 5931 212 312572\n";

TEST(CallgrindTotalsTest, ReadsInstructionsAndDataMissesAndRefusesFilesWithoutThem) {
  std::istringstream output(kCallgrindOutput);
  const std::optional<EventCounts> counts = parseCallgrindTotals(output);
  ASSERT_TRUE(counts);
  EXPECT_TRUE(counts->counted);
  EXPECT_EQ(counts->instructions, 119305480);
  EXPECT_EQ(counts->d1Misses, 1029675 + 5931);
  EXPECT_EQ(counts->llMisses, 312572);  // DLmw left out: zero

  // Without the cache simulation a miss count of zero would be a lie; without totals there
  // is nothing.
  std::istringstream uncached("events: Ir\ntotals: 500\n");
  EXPECT_FALSE(parseCallgrindTotals(uncached));
  std::istringstream truncated("events: Ir Dr Dw I1mr D1mr D1mw ILmr DLmr DLmw\nfn=(1) main\n");
  EXPECT_FALSE(parseCallgrindTotals(truncated));
}
}  // namespace
}  // namespace bench
