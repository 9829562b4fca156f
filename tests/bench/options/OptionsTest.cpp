#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/model/KeySetOption.h"
#include "bench/model/WorkloadFields.h"
#include "bench/modes/Sweep.h"
#include "bench/options/Options.h"
#include "bench/output/Report.h"
#include "bench/run/HugePages.h"
#include "tests/support/TempFolder.h"

namespace bench {
namespace {

// Parses `words` (after the program's name) as mapbench's command line.
std::optional<int> parse(std::vector<std::string> words, Options& options, std::string* errors) {
  words.insert(words.begin(), "mapbench");
  std::vector<const char*> argv;
  for (const std::string& word : words)
    argv.push_back(word.c_str());
  std::ostringstream out, err;
  const std::optional<int> status =
      parseOptions(static_cast<int>(argv.size()), argv.data(), options, out, err);
  if (errors != nullptr)
    *errors = err.str();
  return status;
}

// Parses `arguments`, split at spaces.
std::optional<int> parse(const std::string& arguments, Options& options, std::string* errors) {
  std::vector<std::string> words;
  std::istringstream in(arguments);
  for (std::string word; in >> word;)
    words.push_back(word);
  return parse(words, options, errors);
}

TEST(OptionsTest, PresetSetsTheMixAndExplicitOptionsOverrideIt) {
  Options scan;
  ASSERT_FALSE(parse("--workload scan-heavy", scan, nullptr));
  EXPECT_EQ(scan.config.measuredMix.queryRatio, 0.95);
  EXPECT_EQ(scan.config.measuredMix.rangeQueryRatio, 1.0);
  EXPECT_EQ(scan.config.measuredMix.deleteRatio, 0.0);
  EXPECT_EQ(scan.config.maxRangeSize, 100);

  Options overridden;
  ASSERT_FALSE(
      parse("--range-length 7 --workload scan-heavy --query-ratio 0.5", overridden, nullptr));
  EXPECT_EQ(overridden.config.measuredMix.queryRatio, 0.5);
  EXPECT_EQ(overridden.config.measuredMix.rangeQueryRatio, 1.0);
  EXPECT_EQ(overridden.config.maxRangeSize, 7);

  // Without a preset the measured run is the original workload.
  Options defaults;
  ASSERT_FALSE(parse("", defaults, nullptr));
  EXPECT_EQ(defaults.config.measuredMix.queryRatio, 0.7);
  EXPECT_EQ(defaults.config.measuredMix.rangeQueryRatio, 0.6);
  EXPECT_EQ(defaults.config.measuredMix.deleteRatio, 0.5);
  EXPECT_EQ(defaults.config.maxRangeSize, 1000);
  EXPECT_EQ(defaults.distributions, std::vector{test::KeyDistribution::kUniform});
}

// A list of presets resolves each one with the explicit options over it; a name no preset has,
// or a mix named twice, is refused in one line.
TEST(OptionsTest, AWorkloadListGivesEachPresetItsMixWithTheOverridesAppliedToEach) {
  Options list;
  std::string errors;
  ASSERT_FALSE(parse("--workload read-only,scan-heavy", list, &errors)) << errors;
  ASSERT_EQ(list.workloads.size(), 2u);
  EXPECT_EQ(list.workloads[0].mix.queryRatio, 1.0);
  EXPECT_EQ(list.workloads[0].mix.rangeQueryRatio, 0.0);
  EXPECT_EQ(list.workloads[0].maxRangeSize, 1000);
  EXPECT_EQ(list.workloads[1].mix.queryRatio, 0.95);
  EXPECT_EQ(list.workloads[1].mix.rangeQueryRatio, 1.0);
  EXPECT_EQ(list.workloads[1].maxRangeSize, 100);
  EXPECT_EQ(list.config.measuredMix.queryRatio, 1.0);  // the first preset's

  // Given before or after the list, and the list given in two parts: each preset is overridden.
  Options overridden;
  ASSERT_FALSE(
      parse("--range-length 7 --workload read-only --query-ratio 0.5 --workload "
            "scan-heavy",
            overridden, &errors))
      << errors;
  ASSERT_EQ(overridden.workloads.size(), 2u);
  for (const MeasuredMix& workload : overridden.workloads) {
    EXPECT_EQ(workload.mix.queryRatio, 0.5);
    EXPECT_EQ(workload.maxRangeSize, 7);
  }
  EXPECT_EQ(overridden.workloads[0].mix.rangeQueryRatio, 0.0);
  EXPECT_EQ(overridden.workloads[1].mix.rangeQueryRatio, 1.0);
  EXPECT_EQ(overridden.workloads[1].mix.deleteRatio, 0.0);

  for (const auto& [words, refusal] :
       {std::pair{"--workload read-only,bogus", "mapbench: --workload: unknown workload 'bogus' ("},
        std::pair{"--workload scan-heavy,read-only,scan-heavy",
                  "mapbench: --workload names scan-heavy more than once"},
        std::pair{"--workload read-only,write-heavy --query-ratio 1",
                  "mapbench: --workload: read-only and write-heavy run the same measured mix"}}) {
    Options refused;
    EXPECT_EQ(parse(words, refused, &errors), kUsageError) << words;
    EXPECT_EQ(errors.rfind(refusal, 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
}

// The trees split sequentially unless told otherwise; child command lines name only the other
// rule, which a build from before the choice would refuse.
TEST(OptionsTest, SplitRuleIsSequentialByDefaultAndWrittenOnlyWhenPositional) {
  Options defaults;
  ASSERT_FALSE(parse("", defaults, nullptr));
  EXPECT_EQ(defaults.config.splitPolicy, util::SplitPolicy::kSequential);
  EXPECT_THAT(workloadArguments(defaults.config), ::testing::Not(::testing::Contains("--split")));

  Options positional;
  ASSERT_FALSE(parse("--split positional", positional, nullptr));
  EXPECT_EQ(positional.config.splitPolicy, util::SplitPolicy::kPositional);
  const std::vector<std::string> arguments = workloadArguments(positional.config);
  const auto at = std::find(arguments.begin(), arguments.end(), "--split");
  ASSERT_NE(at, arguments.end());
  EXPECT_EQ(*std::next(at), "positional");

  Options refused;
  std::string errors;
  EXPECT_EQ(parse("--split middle", refused, &errors), 2);
  EXPECT_THAT(errors, ::testing::HasSubstr("expected sequential or positional, got 'middle'"));
}

// Without --hit-ratio point queries take the drawn keys and child command lines name no ratio,
// which a build from before the option would refuse.
TEST(OptionsTest, HitRatioIsUnsetByDefaultAndWrittenOnlyWhenGiven) {
  Options defaults;
  ASSERT_FALSE(parse("", defaults, nullptr));
  EXPECT_FALSE(defaults.config.hitRatio.has_value());
  EXPECT_THAT(workloadArguments(defaults.config),
              ::testing::Not(::testing::Contains("--hit-ratio")));

  Options given;
  ASSERT_FALSE(parse("--hit-ratio 0.25", given, nullptr));
  EXPECT_EQ(given.config.hitRatio, 0.25);
  const std::vector<std::string> arguments = workloadArguments(given.config);
  const auto at = std::find(arguments.begin(), arguments.end(), "--hit-ratio");
  ASSERT_NE(at, arguments.end());
  EXPECT_EQ(*std::next(at), "0.25");

  for (const char* refused : {"--hit-ratio 1.5", "--hit-ratio -0.1", "--hit-ratio most"}) {
    Options options;
    std::string errors;
    EXPECT_EQ(parse(refused, options, &errors), 2) << refused;
    EXPECT_THAT(errors, ::testing::HasSubstr("must be a number from 0 to 1")) << refused;
  }
}

TEST(OptionsTest, DistributionListSweepsAndRefusalsNameTheCulprit) {
  Options options;
  ASSERT_FALSE(parse("--distribution zipf --theta 0.5 --distribution latest", options, nullptr));
  EXPECT_EQ(options.distributions,
            (std::vector{test::KeyDistribution::kZipf, test::KeyDistribution::kLatest}));
  EXPECT_EQ(options.config.theta, 0.5);

  std::string errors;
  Options refused;
  EXPECT_EQ(parse("--k-pairs 16:16,1:16 -m csbtree,btree", refused, &errors), kUsageError);
  EXPECT_EQ(errors.rfind("mapbench: btree with k = 1, k_star = 16: ", 0), 0u) << errors;
}

TEST(OptionsTest, ListOptionsTakeCommaListsAndRepeatedOptions) {
  Options options;
  std::string errors;
  ASSERT_FALSE(
      parse("-m stdmap,btree -m csbtree --k-grid 4,8 --key-spaces 100,2147483646 "
            "--k-pairs 2:3 --k-pairs 5:6,7:8",
            options, &errors))
      << errors;
  EXPECT_EQ(options.maps, (std::vector<std::string>{"stdmap", "btree", "csbtree"}));
  EXPECT_EQ(options.parameterGrid, (std::vector<int32_t>{4, 8}));
  EXPECT_EQ(options.keySpaces, (std::vector<int32_t>{100, 2147483646}));
  EXPECT_EQ(options.parameterPairs, (std::vector<std::string>{"2:3", "5:6", "7:8"}));
}

// A list value named twice would run the same cells twice, each reported as its own rival.
TEST(OptionsTest, AListValueNamedTwiceIsRefused) {
  for (const auto& [words, refusal] :
       {std::pair{"-m btree,btree", "mapbench: -m names btree more than once\n"},
        std::pair{"-m btree,csbtree -m btree", "mapbench: -m names btree more than once\n"},
        std::pair{"--distribution zipf,uniform,zipf",
                  "mapbench: --distribution names zipf more than once\n"},
        std::pair{"--key-spaces 1000,5000,1000",
                  "mapbench: --key-spaces names 1000 more than once\n"}}) {
    Options options;
    std::string errors;
    EXPECT_EQ(parse(words, options, &errors), 2) << words;
    EXPECT_EQ(errors, refusal);
  }
}

TEST(OptionsTest, OnlyTheWholeTunableSetToOneAsksForHugePages) {
  for (const char* tunables :
       {"glibc.malloc.hugetlb=1", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1",
        "glibc.malloc.hugetlb=0:glibc.malloc.hugetlb=1"})
    EXPECT_TRUE(tunablesAskForHugePages(tunables)) << tunables;
  for (const char* tunables : {"", "glibc.malloc.hugetlb=10", "xglibc.malloc.hugetlb=1",
                               "glibc.malloc.hugetlb=1:glibc.malloc.hugetlb=0",
                               "glibc.malloc.hugetlb=2", "a=glibc.malloc.hugetlb=1"})
    EXPECT_FALSE(tunablesAskForHugePages(tunables)) << tunables;
}

TEST(OptionsTest, TheLimitsOfARangeAreAccepted) {
  Options options;
  std::string errors;
  ASSERT_FALSE(parse("--query-ratio 1 --theta 0.99 --sample-every 0", options, &errors)) << errors;
  EXPECT_EQ(options.config.measuredMix.queryRatio, 1.0);
  EXPECT_EQ(options.config.theta, 0.99);
  EXPECT_EQ(options.config.sampleEvery, 0);
  Options largest;
  ASSERT_FALSE(parse("--sample-every 1073741824 --key-space 2147483646", largest, &errors))
      << errors;
  EXPECT_EQ(largest.config.sampleEvery, 1 << 30);
  EXPECT_EQ(largest.config.keySpace, 2147483646);
}

TEST(OptionsTest, NumbersBeyondARangeAndNonFiniteNumbersAreRefused) {
  for (const char* option : {"--theta", "--query-ratio", "--delete-ratio"}) {
    for (const char* number : {"nan", "-nan", "inf", "-inf", "infinity", "1e999"}) {
      Options options;
      std::string errors;
      EXPECT_EQ(parse(std::vector<std::string>{option, number}, options, &errors), 2)
          << option << " " << number;
      EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    }
  }
  // One past each largest value: the slots 0 .. key space need key space + 1 in 32 bits.
  for (const char* words : {"--key-space 2147483647", "--sample-every 2147483648"}) {
    Options options;
    EXPECT_EQ(parse(words, options, nullptr), 2) << words;
  }
}

TEST(OptionsTest, TheKeyFormatAppliesWhereverItStandsOnTheCommandLine) {
  const std::string keys = test::tempPath("keys");  // a name that implies no format
  std::ofstream(keys) << "4\n8\n15\n";
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"--key-format", "text", "--keys", keys, "--fill", "2"},
        std::vector<std::string>{"--keys", keys, "--key-format", "text", "--fill", "2"}}) {
    Options options;
    std::string errors;
    ASSERT_FALSE(parse(words, options, &errors)) << errors;
    ASSERT_NE(options.config.keySet, nullptr);
    EXPECT_EQ(options.config.keySet->keys, (std::vector<int32_t>{4, 8, 15}));
  }
}

TEST(OptionsTest, IntegersAreDecimalWhateverTheirLeadingZeros) {
  Options options;
  std::string errors;
  ASSERT_FALSE(
      parse("--seed 010 --fill 010 --key-space 0100 -k 010 --k-star 08 -r 09 "
            "--sample-every 016",
            options, &errors))
      << errors;
  EXPECT_EQ(options.config.seed, 10);
  EXPECT_EQ(options.config.fillOperations, 10);
  EXPECT_EQ(options.config.keySpace, 100);
  EXPECT_EQ(options.parameters.k, 10);
  EXPECT_EQ(options.parameters.k_star, 8);
  EXPECT_EQ(options.repetitions, 9);
  EXPECT_EQ(options.config.sampleEvery, 16);
}

TEST(OptionsTest, EveryWorkloadFieldSurvivesTheTripThroughAChildsCommandLine) {
  const std::string keys = test::tempPath("options_keys.txt");
  std::ofstream(keys) << "9\n-3\n5\n1\n5\n";
  WorkloadConfig plain;
  plain.keySpace = 5000;
  plain.distribution = test::KeyDistribution::kZipf;
  plain.theta = 0.25;
  plain.measuredMix = {0.25, 0.125, 1.0 / 3};
  plain.maxRangeSize = 77;
  plain.fillOperations = 123;
  plain.measuredOperations = 4567;
  plain.seed = -0x123456789abcdef;  // all 64 bits carried
  plain.sampleEvery = 8;
  WorkloadConfig overKeys = plain;
  overKeys.fillOperations = 3;
  ASSERT_EQ(useKeyFile(keys, "", overKeys), std::nullopt);

  const WorkloadConfig defaults;
  for (const WorkloadConfig* config : {&plain, &overKeys}) {
    Options options;
    std::string errors;
    ASSERT_FALSE(parse(workloadArguments(*config), options, &errors)) << errors;
    // Each field as it is written, and every digit of its columns' values.
    Row sent, received;
    sent.config = *config;
    received.config = options.config;
    for (const WorkloadField& field : workloadFields()) {
      EXPECT_EQ(field.write(options.config), field.write(*config)) << field.option;
      for (const Column& column : field.columns) {
        EXPECT_EQ(isPresent(column, received), isPresent(column, sent)) << column.json;
        if (isPresent(column, sent)) {
          EXPECT_EQ(toJson(column.value(received)), toJson(column.value(sent))) << column.json;
        }
      }
    }
    EXPECT_EQ(options.config.keySpace, config->keySpace);
    EXPECT_EQ(options.config.seed, config->seed);
    EXPECT_EQ(options.distributions, std::vector{config->distribution});
    EXPECT_EQ(options.config.keySet != nullptr, config->keySet != nullptr);
    if (config->keySet != nullptr) {
      EXPECT_EQ(options.config.keySet->keys, config->keySet->keys);
      EXPECT_EQ(options.config.keySet->name, "options_keys.txt");
    }
  }
  // Each field that is written at all differs from its default in one of the two, so that
  // the trip above really carried it.
  for (const WorkloadField& field : workloadFields()) {
    if (field.write(plain) || field.write(overKeys)) {
      EXPECT_TRUE(field.write(plain) != field.write(defaults) ||
                  field.write(overKeys) != field.write(defaults))
          << field.option;
    }
  }
  std::remove(keys.c_str());
}

}  // namespace
}  // namespace bench
