#include "workload/KeyDistribution.h"

#include "workload/EnumNames.h"

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
  return enumOfName(name,
                    {KeyDistribution::kUniform, KeyDistribution::kZipf, KeyDistribution::kLatest},
                    distributionName);
}

}  // namespace test
