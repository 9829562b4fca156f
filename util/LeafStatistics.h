// LeafStatistics: the leaf-level figures both trees report (entries, leaves, utilisation)
// and the one line they print them in.
//
// Plain functions over the counts, so that both trees compute and print them alike.
// Thread-safe.
#ifndef UTIL_LEAF_STATISTICS_H_
#define UTIL_LEAF_STATISTICS_H_

#include <cstdint>
#include <string>

namespace util {

// elements / (2 x k_star x leaves), the slot count formed in 64 bits so that no tree size
// overflows it; NaN for no leaves (0 / 0 in double precision).
double leafUtilization(int64_t elements, int64_t leaves, int32_t k_star);

// "leafUtilization:\t<u>\tleafCount:\t<n>\telementCount:\t<m>\t", without a line end.
std::string leafStatisticsLine(double utilization, int64_t leaves, int64_t elements);

}  // namespace util

#endif  // UTIL_LEAF_STATISTICS_H_
