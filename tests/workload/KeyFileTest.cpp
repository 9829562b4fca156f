#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
  const std::string path = tempPath(name);
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
      {"leading zeros up to the longest line",
       KeyFormat::kText,
       std::string(54, '0') + "2147483647\n0\n-2147483648\n",
       {kMin, 0, kMax},
       ""},
      {"a line longer than any integer",
       KeyFormat::kText,
       std::string(65, '0') + "1\n",
       {},
       "line 1 ('0000000000000000000000000000000000000000...') is longer than any 32-bit integer"},
      {"control bytes quoted escaped",
       KeyFormat::kText,
       std::string("1\n\x1b[31m\0'\\\xff\n", 11),
       {},
       "line 2 ('\\x1b[31m\\x00\\x27\\x5c\\xff')"},
      {"a count beyond the slots",
       KeyFormat::kSosd32,
       sosdBytes(4, uint64_t{1} << 31, {1}),
       {},
       "its count says 2147483648 keys, more than the 2147483647 the slots can name"},
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

  // Endless files end the read at once: a line longer than any integer, a count beyond the
  // slots or a line that is no integer, told in one line.
  for (const auto& [device, format] :
       {std::pair{"/dev/zero", KeyFormat::kText}, std::pair{"/dev/zero", KeyFormat::kSosd64},
        std::pair{"/dev/urandom", KeyFormat::kSosd32},
        std::pair{"/dev/urandom", KeyFormat::kSosd64},
        std::pair{"/dev/urandom", KeyFormat::kText}}) {
    SCOPED_TRACE(std::string(device) + " " + std::string(keyFormatName(format)));
    auto read = readKeyFile(device, format);
    ASSERT_TRUE(std::holds_alternative<std::string>(read));
    EXPECT_EQ(std::get<std::string>(read).find('\n'), std::string::npos);
  }
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

// What readKeyFile says of a pipe that carries a SOSD count of `count` 32-bit keys, key i
// being `keyOf(i)`, read by a child whose address space may grow by `spare` bytes.
std::string readPipeWithSpareMemory(uint32_t count, uint32_t (*keyOf)(uint32_t), size_t spare) {
  int keys[2], answer[2];
  if (::pipe(keys) != 0 || ::pipe(answer) != 0)
    return "no pipe";
  const pid_t writer = ::fork();
  if (writer == 0) {
    ::close(keys[0]);
    std::vector<uint32_t> chunk(1 << 16);
    uint64_t header = count;
    bool open = ::write(keys[1], &header, sizeof header) == sizeof header;
    for (uint32_t done = 0; open && done < count; done += chunk.size()) {
      for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = keyOf(done + static_cast<uint32_t>(i));
      const size_t bytes = sizeof(uint32_t) * std::min<size_t>(chunk.size(), count - done);
      open = ::write(keys[1], chunk.data(), bytes) == static_cast<ssize_t>(bytes);
    }
    ::_exit(0);
  }
  const pid_t reader = ::fork();
  if (reader == 0) {
    ::close(keys[1]);
    ::close(answer[0]);
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<size_t>(::sysconf(_SC_PAGESIZE)) + spare;
    const rlimit space{limit, limit};
    ::setrlimit(RLIMIT_AS, &space);
    const auto read = readKeyFile("/dev/fd/" + std::to_string(keys[0]), KeyFormat::kSosd32);
    const std::string text = std::holds_alternative<std::string>(read)
                                 ? std::get<std::string>(read)
                                 : std::to_string(std::get<KeyFile>(read).keys.size()) + " keys";
    const bool sent =
        ::write(answer[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(sent ? 0 : 1);
  }
  for (int fd : {keys[0], keys[1], answer[1]})
    ::close(fd);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(answer[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(n));
  ::close(answer[0]);
  int status = 0;
  ::waitpid(reader, &status, 0);
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
  return WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : text;
}

TEST(KeyFileTest, AStreamHoldsItsDistinctKeysOnlyAndBeyondMemoryIsRefusedWithALine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit leaves no room for the sanitizer's shadow memory";
#endif
  // 24M keys would take 96 MiB, more than the 64 MiB the reader may add.
  const uint32_t count = 24u << 20;
  const size_t spare = size_t{64} << 20;
  EXPECT_EQ(readPipeWithSpareMemory(
                count, [](uint32_t i) { return i % 1000; }, spare),
            "1000 keys");
  EXPECT_THAT(readPipeWithSpareMemory(
                  count, [](uint32_t i) { return i * 7; }, spare),
              ::testing::HasSubstr(": holds more distinct keys than fit in this process's memory"));
}

TEST(SlotKeyTargetTest, SlotsAtBothEndsOfTheSetReachItsSmallestAndLargestKeys) {
  const std::vector<int32_t> keys = {std::numeric_limits<int32_t>::min(), -3, 0, 12,
                                     std::numeric_limits<int32_t>::max()};
  const int32_t maxKey = static_cast<int32_t>(keys.size()) - 1;  // slots 0 .. maxKey
  Random rand(7);
  BitKeyFlags present(maxKey + 1);
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

}  // namespace
}  // namespace test
