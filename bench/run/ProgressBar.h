// ProgressBar: a one-line progress display on standard error for long runs.
//
// It draws only when standard error is a terminal and only once a run has lasted a couple
// of seconds, so short runs, pipes and log files never see it. Not thread-safe.
#ifndef BENCH_RUN_PROGRESS_BAR_H_
#define BENCH_RUN_PROGRESS_BAR_H_

#include <cstdint>
#include <string>

namespace bench {

class ProgressBar {
 public:
  // `enabled` false keeps it silent whatever standard error is.
  ProgressBar(std::string label, int64_t total, bool enabled);
  ~ProgressBar();

  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Reports that `done` of `total` units are finished.
  void update(int64_t done);

 private:
  std::string label_;
  int64_t total_;
  bool active_;
  bool drawn_ = false;
  int64_t startNanos_;
  int lastPercent_ = -1;
};

}  // namespace bench

#endif  // BENCH_RUN_PROGRESS_BAR_H_
