// Synthetic key sets: distinct unsigned 32-bit keys of a given shape, each set a function of
// its seed, and their SOSD file format (see workload/KeyFile.h).
//
// Shapes (n keys, all within 0 .. 2^32 - 1):
//   lognormal  round(2^26 * e^z), z standard normal: dense around 2^26 with a long upper tail
//   normal     round(2^31 + 2^28 * z): dense around the middle of the range
//   clustered  runs of consecutive keys (lengths 1 .. 1023) separated by random gaps that
//              spread the runs over about half the range
//   sparse     uniform over the whole range
//   dense      n consecutive keys from a random start
// Draws that collide with a key already taken, or fall outside the range, are drawn again,
// so a set has exactly n keys. The generator is a fixed 64-bit mixer (splitmix64) with
// Box-Muller normals, so a seed gives the same set on every run and every machine with the
// same C library's exp/log/cos.
//
// Plain functions; thread-safe.
#ifndef WORKLOAD_SYNTHETIC_KEYS_H_
#define WORKLOAD_SYNTHETIC_KEYS_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

namespace test {

enum class KeyShape { kLognormal, kNormal, kClustered, kSparse, kDense };

inline constexpr KeyShape kKeyShapes[] = {KeyShape::kLognormal, KeyShape::kNormal,
                                          KeyShape::kClustered, KeyShape::kSparse,
                                          KeyShape::kDense};

// The most keys a set of `shape` may have: 2^31, and 2^28 for lognormal and normal, whose
// redrawn sets must stay well below the keys their bell can hold.
int64_t maxSyntheticKeys(KeyShape shape);

std::string_view keyShapeName(KeyShape shape);
std::optional<KeyShape> parseKeyShape(std::string_view name);

// `count` distinct keys of `shape`, ascending; 1 <= count <= maxSyntheticKeys(shape).
std::vector<uint32_t> syntheticKeys(KeyShape shape, int64_t count, uint64_t seed);

// Writes `keys` in the SOSD format with keys of `bits` (32 or 64) bits; the stream's state
// tells whether it succeeded.
void writeSosd(std::ostream& out, const std::vector<uint32_t>& keys, int bits);

}  // namespace test

#endif  // WORKLOAD_SYNTHETIC_KEYS_H_
