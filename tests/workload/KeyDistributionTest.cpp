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

#include "workload/KeyChoosers.h"
#include "workload/KeyFile.h"
#include "workload/KeySets.h"
#include "workload/OperationStream.h"
#include "workload/SyntheticKeys.h"
#include "workload/Zipf.h"

namespace test {
namespace {

// Every operation the stream issues, as text.
struct RecordingTarget {
  void insert(int32_t key, int32_t value) {
    log.push_back("insert " + std::to_string(key) + " " + std::to_string(value));
    inserted.push_back(key);
  }
  void erase(int32_t key) { log.push_back("erase " + std::to_string(key)); }
  void pointQuery(int32_t key) {
    log.push_back("point " + std::to_string(key));
    queried.push_back(key);
  }
  void rangeQuery(int32_t lowKey, int32_t highKey) {
    log.push_back("range " + std::to_string(lowKey) + " " + std::to_string(highKey));
    ranges.push_back({lowKey, highKey});
  }

  std::vector<std::string> log;
  std::vector<int32_t> inserted;
  std::vector<int32_t> queried;
  std::vector<std::pair<int32_t, int32_t>> ranges;
};

// A key set for key spaces too large to allocate in a test.
struct SparseKeySet {
  bool contains(int32_t key) const { return keys.count(key) != 0; }
  void insert(int32_t key) { keys.insert(key); }
  void erase(int32_t key) { keys.erase(key); }
  std::set<int32_t> keys;
};

// UniformKeys' insert rules with a fixed drawn key.
struct FixedKey : UniformKeys {
  FixedKey(int32_t maxKey, int32_t key) : UniformKeys(maxKey), key(key) {}
  int32_t draw(Random&) const { return key; }
  int32_t key;
};

constexpr OperationMix kInsertsOnly{0.0, 0.0, 0.0};
constexpr OperationMix kRangesOnly{1.0, 1.0, 0.0};
constexpr OperationMix kPointsOnly{1.0, 0.0, 0.0};
constexpr OperationMix kMixed{0.7, 0.6, 0.5};

// The fill and measured runs of `distribution` over a small key space, as text.
std::vector<std::string> runDistribution(KeyDistribution distribution, int64_t seed) {
  constexpr int32_t kKeys = 5000;
  Random rand(seed);
  BitKeySet present(kKeys + 1);
  int32_t size = 0;
  RecordingTarget target;
  withKeyChoosers(distribution, kKeys, 0.8, [&](auto& fillKeys, auto& keys) {
    generateOperations(500, OperationMix{0.0, 0.5, 0.0}, KeySpace{kKeys, 100}, rand, present, size,
                       fillKeys, target);
    generateOperations(3000, kMixed, KeySpace{kKeys, 100}, rand, present, size, keys, target);
  });
  return target.log;
}

TEST(KeyDistributionTest, EachDistributionIsAFunctionOfTheSeed) {
  for (KeyDistribution distribution :
       {KeyDistribution::kUniform, KeyDistribution::kZipf, KeyDistribution::kLatest}) {
    SCOPED_TRACE(std::string(distributionName(distribution)));
    const std::vector<std::string> first = runDistribution(distribution, 42);
    EXPECT_EQ(first, runDistribution(distribution, 42));
    EXPECT_NE(first, runDistribution(distribution, 43));
  }
  EXPECT_NE(runDistribution(KeyDistribution::kUniform, 42),
            runDistribution(KeyDistribution::kZipf, 42));
}

TEST(ZipfianRanksTest, ZetaAgreesWithTheExactSumAndTheAsymptoticForm) {
  for (double theta : {kMinTheta, 0.5, kMaxTheta}) {
    long double exact = 0;
    int64_t summed = 0;
    for (int64_t n : {int64_t{1}, ZipfianRanks::kDirectTerms, ZipfianRanks::kDirectTerms + 1,
                      int64_t{3000}, int64_t{200'000}}) {
      while (summed < n) {
        ++summed;
        exact += std::pow(static_cast<long double>(summed), -static_cast<long double>(theta));
      }
      EXPECT_NEAR(ZipfianRanks::zeta(n, theta) / exact, 1.0, 1e-13) << theta << " " << n;
    }
  }
  // For theta 1/2: zeta(n) = 2 sqrt(n) + zeta_Riemann(1/2) + 1 / (2 sqrt(n)) + O(n^-1.5).
  const double n = 2147483647.0;
  EXPECT_NEAR(ZipfianRanks::zeta(2147483647, 0.5),
              2.0 * std::sqrt(n) - 1.4603545088095868 + 0.5 / std::sqrt(n), 1e-9);
}

TEST(ZipfianRanksTest, HottestKeysGetTheirSharesAndNeighbouringRanksAreSpread) {
  constexpr int32_t kKeys = 1'000'000;
  constexpr int kDraws = 1'000'000;
  for (double theta : {0.5, kMaxTheta}) {
    SCOPED_TRACE(theta);
    const ZipfKeys keys(kKeys, theta);
    const ZipfianRanks ranks(kKeys, theta);
    Random rand(7);
    std::vector<int32_t> hits(kKeys, 0);
    for (int i = 0; i < kDraws; ++i)
      ++hits[keys.draw(rand)];
    // Ranks 0 and 1 have exact shares 1 / zeta(n) and 2^-theta / zeta(n); allow 5 sigma.
    for (int32_t rank : {0, 1}) {
      const double expected = std::pow(rank + 1.0, -theta) / ranks.zetaN();
      const double share = static_cast<double>(hits[KeyScrambler(kKeys)(rank)]) / kDraws;
      EXPECT_NEAR(share, expected, 5 * std::sqrt(expected / kDraws)) << "rank " << rank;
    }
    EXPECT_EQ(std::max_element(hits.begin(), hits.end()) - hits.begin(), keys.hottestKey());

    // The first hundred ranks land in every quarter of the key space.
    int quarters[4] = {};
    for (int32_t rank = 0; rank < 100; ++rank)
      ++quarters[KeyScrambler(kKeys)(rank) / (kKeys / 4)];
    for (int count : quarters)
      EXPECT_GT(count, 10);
  }
  // The closed form approximates the ranks beyond 1: the mass below rank k stays close.
  const ZipfianRanks ranks(kKeys, kMaxTheta);
  Random rand(11);
  std::vector<int32_t> drawn(kDraws);
  for (int32_t& rank : drawn)
    rank = ranks.rank(rand.nextDouble());
  for (int32_t k : {10, 1000, 100000}) {
    const double below = static_cast<double>(std::count_if(drawn.begin(), drawn.end(),
                                                           [k](int32_t r) { return r < k; })) /
                         kDraws;
    EXPECT_NEAR(below, ZipfianRanks::zeta(k, kMaxTheta) / ranks.zetaN(), 0.015) << k;
  }
}

TEST(ZipfianRanksTest, RanksStayInRangeAndUnsupportedParametersAreRefused) {
  for (int32_t n : {1, 2, 3, 1000}) {
    const ZipfianRanks ranks(n, kMaxTheta);
    for (double u : {0.0, 0.5, std::nextafter(1.0, 0.0)}) {
      EXPECT_GE(ranks.rank(u), 0);
      EXPECT_LT(ranks.rank(u), n);
    }
  }
  for (double theta : {0.0, kMinTheta / 2, 1.0, 1.5, std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW(ZipfianRanks(100, theta), std::invalid_argument) << theta;
  EXPECT_THROW(ZipfianRanks(0, 0.5), std::invalid_argument);
  // A key space whose probe slots would not fit an int32.
  EXPECT_THROW(UniformKeys(0), std::invalid_argument);
  EXPECT_THROW(LatestKeys(std::numeric_limits<int32_t>::max(), 0.5), std::invalid_argument);
}

TEST(KeyScramblerTest, IsABijectionOfTheKeySpace) {
  for (int32_t n : {1, 2, 3, 7, 64, 1000, 1025, 65537}) {
    const KeyScrambler scramble(n);
    std::vector<bool> seen(n, false);
    for (int32_t x = 0; x < n; ++x) {
      const int32_t y = scramble(x);
      ASSERT_GE(y, 0);
      ASSERT_LT(y, n);
      ASSERT_FALSE(seen[y]) << "n " << n << " x " << x;
      seen[y] = true;
    }
  }
}

TEST(KeyScramblerTest, FirstOutputsStayTheSameForAPowerOfTwoAndTheDefaultKeySpace) {
  // Any other bijection would pass the test above, yet change every zipf result.
  const std::vector<std::pair<int32_t, std::vector<int32_t>>> pins = {
      {2048, {518, 1910, 190, 1314, 542, 359}},  // 11 bits, halves of 5 and 6, no walk
      {10'000'000, {3585798, 8213302, 6651222, 3846896, 8681524, 822350}}};
  for (const auto& [n, outputs] : pins) {
    const KeyScrambler scramble(n);
    for (int32_t x = 0; x < static_cast<int32_t>(outputs.size()); ++x)
      EXPECT_EQ(scramble(x), outputs[x]) << "n " << n << " x " << x;
  }
}

TEST(LatestKeysTest, InsertsAscendWrapAndMovePastAFullStretch) {
  constexpr int32_t kKeys = 100;
  Random rand(42);
  BitKeySet present(kKeys);
  int32_t size = 0;
  LatestKeys keys(kKeys, kMaxTheta);
  RecordingTarget target;
  generateOperations(95, kInsertsOnly, KeySpace{kKeys, 10}, rand, present, size, keys, target);
  for (int32_t i = 0; i < 95; ++i)
    ASSERT_EQ(target.inserted[i], i);

  for (int32_t key : {0, 1, 2, 20, 40})
    present.erase(key);
  size -= 5;
  generateOperations(10, kInsertsOnly, KeySpace{kKeys, 10}, rand, present, size, keys, target);
  // 95 .. 99, wrap to 0 .. 2; the next insert finds 3 .. 12 taken, so the one after probes
  // from 13 and takes 20.
  const std::vector<int32_t> after(target.inserted.begin() + 95, target.inserted.end());
  EXPECT_EQ(after, (std::vector<int32_t>{95, 96, 97, 98, 99, 0, 1, 2, 20}));
  EXPECT_EQ(size, 99);
  EXPECT_EQ(keys.newest(), 20);

  // Queries favour the newest key.
  generateOperations(2000, kPointsOnly, KeySpace{kKeys, 10}, rand, present, size, keys, target);
  std::vector<int> hits(kKeys, 0);
  for (int32_t key : target.queried)
    ++hits[key];
  EXPECT_EQ(std::max_element(hits.begin(), hits.end()) - hits.begin(), 20);
  EXPECT_GT(hits[19], hits[50]);
}

TEST(OperationStreamTest, ProbesAndRangesWrapOrStopAtTheTopOfTheKeySpace) {
  for (int32_t maxKey : {10, std::numeric_limits<int32_t>::max() - 1}) {
    SCOPED_TRACE(maxKey);
    Random rand(42);
    SparseKeySet present;
    present.keys = {maxKey - 2, maxKey - 1, maxKey};
    int32_t size = 3;
    FixedKey keys(maxKey, maxKey - 2);
    RecordingTarget target;
    // Slots maxKey - 2 .. maxKey are taken: the probe wraps (modulo maxKey + 1) to 0.
    generateOperations(2, kInsertsOnly, KeySpace{maxKey, 1000}, rand, present, size, keys, target);
    EXPECT_EQ(target.inserted, (std::vector<int32_t>{0, 1}));
    // Ranges from maxKey - 2 are capped at maxKey itself.
    generateOperations(50, kRangesOnly, KeySpace{maxKey, 1000}, rand, present, size, keys, target);
    bool reachedTop = false;
    for (const auto& [low, high] : target.ranges) {
      EXPECT_EQ(low, maxKey - 2);
      EXPECT_GE(high, low);
      EXPECT_LE(high, maxKey);
      reachedTop = reachedTop || high == maxKey;
    }
    EXPECT_TRUE(reachedTop);

    // Latest ingest at the top wraps (modulo maxKey) past the taken 0 and 1 to 2.
    LatestKeys latest(maxKey, kMaxTheta);
    latest.inserted(maxKey - 3);
    generateOperations(2, kInsertsOnly, KeySpace{maxKey, 1000}, rand, present, size, latest,
                       target);
    EXPECT_EQ(std::vector<int32_t>(target.inserted.end() - 2, target.inserted.end()),
              (std::vector<int32_t>{2, 3}));
  }
}

// An SOSD file's bytes: `count` as the header, then `keys` of `width` bytes, little-endian.
std::string sosdBytes(int width, uint64_t count, const std::vector<uint64_t>& keys) {
  std::string bytes;
  auto put = [&](uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
      bytes.push_back(static_cast<char>(value >> (8 * i)));
  };
  put(count, 8);
  for (uint64_t key : keys)
    put(key, width);
  return bytes;
}

std::string writeTempFile(const std::string& name, const std::string& bytes) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(KeyFileTest, FormatsAreReadSortedAndDeduplicatedOrRefusedWithTheReason) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr uint64_t k2To32 = uint64_t{1} << 32;
  struct Case {
    const char* what;
    KeyFormat format;
    std::string bytes;
    std::vector<int32_t> keys;  // expected, when `refusal` is empty
    std::string refusal;
  };
  const Case cases[] = {
      {"sosd32 keys move down by 2^31",
       KeyFormat::kSosd32,
       sosdBytes(4, 4, {k2To32 - 1, 0, 1u << 31, 0}),
       {kMin, 0, kMax},
       ""},
      {"sosd64 keys that fit in 32 bits",
       KeyFormat::kSosd64,
       sosdBytes(8, 3, {k2To32 - 1, 1u << 31, 0}),
       {kMin, 0, kMax},
       ""},
      {"text keys as they are",
       KeyFormat::kText,
       "2147483647\r\n0\n-2147483648\n0\n",
       {kMin, 0, kMax},
       ""},
      {"sosd64 key too wide",
       KeyFormat::kSosd64,
       sosdBytes(8, 3, {1, k2To32, k2To32 + 1}),
       {},
       "key 4294967296 (number 2) does not fit in 32 bits unsigned"},
      {"empty sosd", KeyFormat::kSosd32, "", {}, "is empty"},
      {"zero count", KeyFormat::kSosd32, sosdBytes(4, 0, {}), {}, "holds no keys"},
      {"cut header",
       KeyFormat::kSosd64,
       std::string("\x01\x00\x00", 3),
       {},
       "shorter than its 8-byte count"},
      {"fewer keys than the count",
       KeyFormat::kSosd32,
       sosdBytes(4, 3, {1, 2}),
       {},
       "is shorter than its count says 3 keys of 4 bytes (it holds 2)"},
      {"a cut key", KeyFormat::kSosd64, sosdBytes(8, 1, {}) + "\x01\x02", {}, "is shorter"},
      {"more keys than the count",
       KeyFormat::kSosd32,
       sosdBytes(4, 1, {1, 2}),
       {},
       "is longer than its count says 1 keys of 4 bytes"},
      {"32-bit keys read as 64-bit",
       KeyFormat::kSosd64,
       sosdBytes(4, 3, {1, 2, 3}),
       {},
       "is shorter than its count says 3 keys of 8 bytes (it holds 1)"},
      {"empty text", KeyFormat::kText, "", {}, "is empty"},
      {"text beyond int32",
       KeyFormat::kText,
       "1\n2147483648\n",
       {},
       "line 2 ('2147483648') is not a decimal 32-bit signed integer"},
      {"blank text line", KeyFormat::kText, "1\n\n2\n", {}, "line 2 ('')"},
      {"text with a sign and spaces", KeyFormat::kText, "+1\n", {}, "line 1 ('+1')"},
  };
  std::optional<uint64_t> sameSetHash;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = writeTempFile("keyfile_case", c.bytes);
    auto read = readKeyFile(path, c.format);
    if (!c.refusal.empty()) {
      ASSERT_TRUE(std::holds_alternative<std::string>(read));
      EXPECT_EQ(std::get<std::string>(read).rfind(path + ": ", 0), 0u);
      EXPECT_NE(std::get<std::string>(read).find(c.refusal), std::string::npos)
          << std::get<std::string>(read);
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<KeyFile>(read)) << std::get<std::string>(read);
    const KeyFile& file = std::get<KeyFile>(read);
    EXPECT_EQ(file.keys, c.keys);
    EXPECT_EQ(file.name, "keyfile_case");
    // The hash names the sorted set, whatever the file's order or format.
    EXPECT_EQ(file.hash, sameSetHash.value_or(file.hash));
    sameSetHash = file.hash;
    std::remove(path.c_str());
  }
  EXPECT_NE(hashKeys({kMin, 1, kMax}), *sameSetHash);
  KeyFile small;
  small.hash = 0xab;
  EXPECT_EQ(small.hashText(), "00000000000000ab");

  for (const char* unreadable : {"/nonexistent/keys_uint32", "/"}) {
    auto read = readKeyFile(unreadable, KeyFormat::kSosd32);
    ASSERT_TRUE(std::holds_alternative<std::string>(read)) << unreadable;
    EXPECT_NE(std::get<std::string>(read).find(unreadable), std::string::npos);
  }
  EXPECT_EQ(keyFormatOfName("dir/books_200M_uint32"), KeyFormat::kSosd32);
  EXPECT_EQ(keyFormatOfName("fb_200M_uint64"), KeyFormat::kSosd64);
  EXPECT_EQ(keyFormatOfName("ids.txt"), KeyFormat::kText);
  EXPECT_EQ(keyFormatOfName("keys.bin"), std::nullopt);
}

TEST(SlotKeyTargetTest, SlotsAtBothEndsOfTheSetReachItsSmallestAndLargestKeys) {
  const std::vector<int32_t> keys = {std::numeric_limits<int32_t>::min(), -3, 0, 12,
                                     std::numeric_limits<int32_t>::max()};
  const int32_t maxKey = static_cast<int32_t>(keys.size()) - 1;  // slots 0 .. maxKey
  Random rand(7);
  BitKeySet present(maxKey + 1);
  int32_t size = 0;
  UniformKeys chooser(maxKey);
  RecordingTarget recorded;
  SlotKeyTarget<RecordingTarget> target(keys.data(), recorded);
  generateOperations(5, kInsertsOnly, KeySpace{maxKey, 1000}, rand, present, size, chooser, target);
  EXPECT_EQ(std::set<int32_t>(recorded.inserted.begin(), recorded.inserted.end()),
            std::set<int32_t>(keys.begin(), keys.end()));

  generateOperations(200, kRangesOnly, KeySpace{maxKey, 1000}, rand, present, size, chooser,
                     target);
  bool fromSmallest = false, toLargest = false;
  for (const auto& [low, high] : recorded.ranges) {
    EXPECT_TRUE(std::binary_search(keys.begin(), keys.end(), low)) << low;
    EXPECT_LE(low, high);
    fromSmallest = fromSmallest || low == keys.front();
    toLargest = toLargest || high == keys.back();  // ranges stop at the last slot
  }
  EXPECT_TRUE(fromSmallest);
  EXPECT_TRUE(toLargest);
}

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
    const std::string path = ::testing::TempDir() + "synthetic_keys";
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
}

TEST(KeySetsTest, BitsAtWordBoundariesAreIndependent) {
  BitKeySet present(130);
  for (int32_t key : {0, 63, 64, 129})
    present.insert(key);
  present.erase(64);
  for (int32_t key = 0; key < 130; ++key)
    EXPECT_EQ(present.contains(key), key == 0 || key == 63 || key == 129) << key;
  EXPECT_EQ(BitKeySet::bytesFor(1'000'000'001), 125'000'008);
}

}  // namespace
}  // namespace test
