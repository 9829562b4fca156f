// Statistics: the median, and the two-sided Mann-Whitney U test (Wilcoxon rank-sum test)
// of two samples.
//
// The test asks whether one sample tends to hold larger values than the other, without assuming
// any distribution, which suits benchmark times with their long right tails. The p-value
// comes from the exact distribution of U when both samples hold fewer than 50 values and no
// value occurs twice; otherwise from the normal approximation with the variance corrected
// for ties and a continuity correction of one half. These are the choices of R's
// wilcox.test, so its figures can be checked against published examples.
//
// Pure functions; safe from any thread.
#ifndef BENCH_MODEL_STATISTICS_H_
#define BENCH_MODEL_STATISTICS_H_

#include <cstddef>
#include <vector>

namespace bench {

// The middle value, or the mean of the two middle values; 0 for no values.
double median(std::vector<double> values);

struct UTestResult {
  // U of the first sample: the pairs (x, y) with x > y, a tie counting one half. Below
  // n1 * n2 / 2 the first sample tends to the smaller values.
  double u = 0;
  double p = 1;  // two-sided
  bool exact = false;
};

// Both samples must be non-empty.
UTestResult mannWhitneyU(const std::vector<double>& x, const std::vector<double>& y);

// The smallest two-sided p-value that samples of these sizes can reach: when it is above the
// significance level, no outcome could show a difference.
double smallestPValue(size_t n1, size_t n2);

}  // namespace bench

#endif  // BENCH_MODEL_STATISTICS_H_
