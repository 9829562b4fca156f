#include "util/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace util {
namespace {

TEST(FormatDoubleTest, PlainRangeUsesShortestDigitsWithAtLeastOneDecimal) {
  EXPECT_EQ(formatDouble(0.0625), "0.0625");
  EXPECT_EQ(formatDouble(0.375), "0.375");
  EXPECT_EQ(formatDouble(0.5), "0.5");
  EXPECT_EQ(formatDouble(1.0), "1.0");
  EXPECT_EQ(formatDouble(2.0), "2.0");
  EXPECT_EQ(formatDouble(0.7083333333333334), "0.7083333333333334");
  EXPECT_EQ(formatDouble(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(formatDouble(12345.678), "12345.678");
  EXPECT_EQ(formatDouble(-3.25), "-3.25");
  EXPECT_EQ(formatDouble(100.0), "100.0");
}

TEST(FormatDoubleTest, ZeroAndBoundariesOfThePlainRange) {
  EXPECT_EQ(formatDouble(0.0), "0.0");
  EXPECT_EQ(formatDouble(-0.0), "-0.0");
  EXPECT_EQ(formatDouble(0.001), "0.001");
  EXPECT_EQ(formatDouble(0.00123), "0.00123");
  EXPECT_EQ(formatDouble(9999999.0), "9999999.0");
  EXPECT_EQ(formatDouble(9999999.5), "9999999.5");
  EXPECT_EQ(formatDouble(1.0E7), "1.0E7");
  EXPECT_EQ(formatDouble(0.000999), "9.99E-4");
}

TEST(FormatDoubleTest, OutsideThePlainRangeUsesMantissaAndExponent) {
  EXPECT_EQ(formatDouble(1.0E-4), "1.0E-4");
  EXPECT_EQ(formatDouble(2.5E-4), "2.5E-4");
  EXPECT_EQ(formatDouble(1.2345E10), "1.2345E10");
  EXPECT_EQ(formatDouble(-4.0E-10), "-4.0E-10");
  EXPECT_EQ(formatDouble(1.0E21), "1.0E21");
  EXPECT_EQ(formatDouble(std::numeric_limits<double>::denorm_min()), "5.0E-324");
  EXPECT_EQ(formatDouble(std::numeric_limits<double>::max()), "1.7976931348623157E308");
}

TEST(FormatDoubleTest, NonFiniteValues) {
  EXPECT_EQ(formatDouble(std::nan("")), "NaN");
  EXPECT_EQ(formatDouble(0.0 / std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(formatDouble(std::numeric_limits<double>::infinity()), "Infinity");
  EXPECT_EQ(formatDouble(-std::numeric_limits<double>::infinity()), "-Infinity");
}

TEST(FormatDoubleTest, ElapsedSecondsReadLikeTheTimingLines) {
  EXPECT_EQ(formatDouble(static_cast<double>(5123456789LL) / 1.0E9), "5.123456789");
  EXPECT_EQ(formatDouble(static_cast<double>(-25000) / 1.0E9), "-2.5E-5");
  EXPECT_EQ(formatDouble(static_cast<double>(0) / 1.0E9), "0.0");
}

TEST(FormatDoubleTest, EveryResultReadsBackAsTheSameDouble) {
  const double samples[] = {1.0 / 3, 2.0 / 3, 1e-3 * 7, 6.02214076e23, 1e7 - 1e-9, 123.456e-7};
  for (double x : samples) {
    EXPECT_EQ(std::stod(formatDouble(x)), x) << formatDouble(x);
  }
}

}  // namespace
}  // namespace util
