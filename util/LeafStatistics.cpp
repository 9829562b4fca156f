#include "util/LeafStatistics.h"

#include "util/NumberFormat.h"

namespace util {

double leafUtilization(int64_t elements, int64_t leaves, int32_t k_star) {
  const int64_t slots = 2 * static_cast<int64_t>(k_star) * leaves;
  return static_cast<double>(elements) / static_cast<double>(slots);
}

std::string leafStatisticsLine(double utilization, int64_t leaves, int64_t elements) {
  return "leafUtilization:\t" + formatDouble(utilization) + "\tleafCount:\t" +
         std::to_string(leaves) + "\telementCount:\t" + std::to_string(elements) + "\t";
}

}  // namespace util
