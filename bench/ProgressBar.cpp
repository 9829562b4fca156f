#include "bench/ProgressBar.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace bench {

namespace {

constexpr int64_t kQuietNanos = 2'000'000'000;  // runs shorter than this show nothing
constexpr int kWidth = 30;

int64_t nowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ProgressBar::ProgressBar(std::string label, int64_t total, bool enabled)
    : label_(std::move(label)),
      total_(total > 0 ? total : 1),
      active_(enabled && ::isatty(STDERR_FILENO) == 1),
      startNanos_(nowNanos()) {}

ProgressBar::~ProgressBar() {
  if (drawn_)
    std::fprintf(stderr, "\r\033[K");
}

void ProgressBar::update(int64_t done) {
  if (!active_)
    return;
  const int percent = static_cast<int>(100 * done / total_);
  if (percent == lastPercent_)
    return;
  if (!drawn_ && nowNanos() - startNanos_ < kQuietNanos)
    return;
  lastPercent_ = percent;
  drawn_ = true;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r%-24.24s [%.*s%*s] %3d%%", label_.c_str(), filled,
               "##############################", kWidth - filled, "", percent);
  std::fflush(stderr);
}

}  // namespace bench
