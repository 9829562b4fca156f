#include "workload/SyntheticKeys.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "workload/EnumNames.h"

namespace test {

namespace {

constexpr uint64_t kRange = uint64_t{1} << 32;  // keys are 0 .. kRange - 1

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9e37'79b9'7f4a'7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58'476d'1ce4'e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d0'49bb'1331'11ebull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, bound), bound > 0 (the tiny modulo bias does not matter here).
  uint64_t below(uint64_t bound) { return next() % bound; }
  // Uniform in (0, 1].
  double unit() { return static_cast<double>((next() >> 11) + 1) * 0x1.0p-53; }
  // Standard normal (Box-Muller).
  double normal() {
    return std::sqrt(-2.0 * std::log(unit())) * std::cos(2.0 * std::numbers::pi * unit());
  }

 private:
  uint64_t state_;
};

// Draws keys with `draw` (which returns kRange or more for a draw to discard) until `count`
// distinct ones are taken.
template <class Draw>
std::vector<uint32_t> drawDistinct(int64_t count, Draw draw) {
  std::vector<uint32_t> keys;
  keys.reserve(static_cast<size_t>(count));
  while (static_cast<int64_t>(keys.size()) < count) {
    const size_t sorted = keys.size();
    while (static_cast<int64_t>(keys.size()) < count) {
      const uint64_t key = draw();
      if (key < kRange)
        keys.push_back(static_cast<uint32_t>(key));
    }
    std::sort(keys.begin() + static_cast<std::ptrdiff_t>(sorted), keys.end());
    std::inplace_merge(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(sorted),
                       keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  }
  return keys;
}

uint64_t roundedOrDiscard(double value) {
  return value >= 0 && value < static_cast<double>(kRange) ? std::llround(value) : kRange;
}

std::vector<uint32_t> clustered(int64_t count, SplitMix64& random) {
  constexpr uint64_t kMaxRun = 1023;
  const uint64_t runs = std::max<uint64_t>(1, static_cast<uint64_t>(count) * 2 / (kMaxRun + 1));
  // Gaps average a little over half the free room per run.
  const uint64_t maxGap = std::max<uint64_t>(1, (kRange - static_cast<uint64_t>(count)) / runs);
  std::vector<uint32_t> keys;
  keys.reserve(static_cast<size_t>(count));
  uint64_t next = 0;
  while (static_cast<int64_t>(keys.size()) < count) {
    const uint64_t left = static_cast<uint64_t>(count) - keys.size();
    // The gap never leaves less room than the keys still to place.
    const uint64_t gap = std::min(random.below(maxGap) + 1, kRange - next - left);
    next += gap;
    const uint64_t run = std::min(random.below(kMaxRun) + 1, left);
    for (uint64_t i = 0; i < run; ++i)
      keys.push_back(static_cast<uint32_t>(next++));
  }
  return keys;
}

}  // namespace

int64_t maxSyntheticKeys(KeyShape shape) {
  switch (shape) {
    case KeyShape::kLognormal:
    case KeyShape::kNormal:
      return int64_t{1} << 28;
    case KeyShape::kClustered:
    case KeyShape::kSparse:
    case KeyShape::kDense:
      break;
  }
  return int64_t{1} << 31;
}

std::string_view keyShapeName(KeyShape shape) {
  switch (shape) {
    case KeyShape::kLognormal:
      return "lognormal";
    case KeyShape::kNormal:
      return "normal";
    case KeyShape::kClustered:
      return "clustered";
    case KeyShape::kSparse:
      return "sparse";
    case KeyShape::kDense:
      return "dense";
  }
  return "dense";
}

std::optional<KeyShape> parseKeyShape(std::string_view name) {
  return enumOfName(name, kKeyShapes, keyShapeName);
}

std::vector<uint32_t> syntheticKeys(KeyShape shape, int64_t count, uint64_t seed) {
  SplitMix64 random(seed);
  switch (shape) {
    case KeyShape::kLognormal:
      return drawDistinct(count,
                          [&] { return roundedOrDiscard(0x1.0p26 * std::exp(random.normal())); });
    case KeyShape::kNormal:
      return drawDistinct(count,
                          [&] { return roundedOrDiscard(0x1.0p31 + 0x1.0p28 * random.normal()); });
    case KeyShape::kClustered:
      return clustered(count, random);
    case KeyShape::kSparse:
      return drawDistinct(count, [&] { return random.next() >> 32; });
    case KeyShape::kDense:
      break;
  }
  const uint64_t start = random.below(kRange - static_cast<uint64_t>(count) + 1);
  std::vector<uint32_t> keys(static_cast<size_t>(count));
  for (size_t i = 0; i < keys.size(); ++i)
    keys[i] = static_cast<uint32_t>(start + i);
  return keys;
}

void writeSosd(std::ostream& out, const std::vector<uint32_t>& keys, int bits) {
  const int width = bits / 8;
  std::vector<char> bytes;
  auto put = [&](uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
      bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  put(keys.size(), 8);
  for (uint32_t key : keys) {
    put(key, width);
    if (bytes.size() >= (size_t{1} << 20)) {
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      bytes.clear();
    }
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace test
