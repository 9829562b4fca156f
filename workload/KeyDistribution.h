// KeyDistribution: how the workload picks the keys of its operations.
//
// - kUniform: every key of the key space equally likely (the original workload).
// - kZipf: Zipf-distributed ranks with exponent theta, scrambled over the key space by a
//   fixed bijection so that the hot keys are spread out instead of clustered at 0.
// - kLatest: time-ordered ingest. Inserts take ascending keys above the newest one; queries
//   and deletes pick keys just below the newest with Zipf weight over recency.
#ifndef WORKLOAD_KEY_DISTRIBUTION_H_
#define WORKLOAD_KEY_DISTRIBUTION_H_

#include <optional>
#include <string_view>

namespace test {

enum class KeyDistribution { kUniform, kZipf, kLatest };

// The Zipf exponents the generators support: kMinTheta <= theta <= kMaxTheta.
inline constexpr double kMinTheta = 0.01;
inline constexpr double kMaxTheta = 0.99;
inline constexpr double kDefaultTheta = 0.99;

// "uniform", "zipf" or "latest".
std::string_view distributionName(KeyDistribution distribution);
// The distribution called `name`, or nothing.
std::optional<KeyDistribution> parseDistribution(std::string_view name);

}  // namespace test

#endif  // WORKLOAD_KEY_DISTRIBUTION_H_
