#include "workload/KeyDistribution.h"

namespace test {

std::string_view distributionName(KeyDistribution distribution) {
  switch (distribution) {
    case KeyDistribution::kUniform:
      return "uniform";
    case KeyDistribution::kZipf:
      return "zipf";
    case KeyDistribution::kLatest:
      return "latest";
  }
  return "uniform";
}

std::optional<KeyDistribution> parseDistribution(std::string_view name) {
  for (KeyDistribution distribution :
       {KeyDistribution::kUniform, KeyDistribution::kZipf, KeyDistribution::kLatest}) {
    if (distributionName(distribution) == name)
      return distribution;
  }
  return std::nullopt;
}

}  // namespace test
