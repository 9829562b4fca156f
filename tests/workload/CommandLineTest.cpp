#include "workload/CommandLine.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <variant>
#include <vector>

namespace test {
namespace {

CommandLine parseOk(const std::vector<std::string>& args) {
  auto result = CommandLine::parse(args);
  EXPECT_TRUE(std::holds_alternative<CommandLine>(result));
  return std::holds_alternative<CommandLine>(result) ? std::get<CommandLine>(result)
                                                     : CommandLine{};
}

TEST(CommandLineTest, ArgumentCountDecidesTheMeaning) {
  const CommandLine none = parseOk({});
  EXPECT_EQ(none.k, 16);
  EXPECT_EQ(none.k_star, 16);
  EXPECT_EQ(none.type, "csbtree");

  const CommandLine one = parseOk({"btree"});
  EXPECT_EQ(one.k, 16);
  EXPECT_EQ(one.k_star, 16);
  EXPECT_EQ(one.type, "btree");

  const CommandLine three = parseOk({"-3", "64", "whatever"});
  EXPECT_EQ(three.k, -3);
  EXPECT_EQ(three.k_star, 64);
  EXPECT_EQ(three.type, "whatever");
}

TEST(CommandLineTest, TwoOrFourAndMoreArgumentsAreIgnored) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"1x", "btree"},
                                               {"2", "3", "btree", "x"},
                                               {"a", "b", "c", "d", "e"}}) {
    const CommandLine line = parseOk(args);
    EXPECT_EQ(line.k, 16);
    EXPECT_EQ(line.k_star, 16);
    EXPECT_EQ(line.type, "csbtree");
  }
}

TEST(CommandLineTest, BadNumbersNameTheArgument) {
  const std::vector<std::string> bad = {"",   "abc", "1x", "+5",   "2147483648", "-2147483649",
                                        " 5", "5 ",  "-",  "0x10", "1e3"};
  for (const std::string& text : bad) {
    const auto asK = CommandLine::parse({text, "16", "btree"});
    ASSERT_TRUE(std::holds_alternative<std::string>(asK)) << '"' << text << '"';
    EXPECT_NE(std::get<std::string>(asK).find("invalid k '" + text + "'"), std::string::npos);

    const auto asKStar = CommandLine::parse({"16", text, "btree"});
    ASSERT_TRUE(std::holds_alternative<std::string>(asKStar)) << '"' << text << '"';
    EXPECT_NE(std::get<std::string>(asKStar).find("invalid k_star"), std::string::npos);
  }
}

TEST(CommandLineTest, FirstBadArgumentIsReportedBeforeTheSecond) {
  const auto result = CommandLine::parse({"x", "y", "btree"});
  ASSERT_TRUE(std::holds_alternative<std::string>(result));
  EXPECT_EQ(std::get<std::string>(result).rfind("invalid k '", 0), 0u);
}

TEST(ParseInt32Test, AcceptsTheWholeSigned32BitRange) {
  EXPECT_EQ(parseInt32("0"), 0);
  EXPECT_EQ(parseInt32("-0"), 0);
  EXPECT_EQ(parseInt32("007"), 7);
  EXPECT_EQ(parseInt32("9"), 9);  // the highest digit, alone and inside a number
  EXPECT_EQ(parseInt32("-9"), -9);
  EXPECT_EQ(parseInt32("1234567890"), 1234567890);
  EXPECT_EQ(parseInt32("2147483647"), INT_MAX);
  EXPECT_EQ(parseInt32("-2147483648"), INT_MIN);
  EXPECT_FALSE(parseInt32("99999999999999999999").has_value());
  EXPECT_FALSE(parseInt32("--1").has_value());
}

}  // namespace
}  // namespace test
