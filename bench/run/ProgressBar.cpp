#include "bench/run/ProgressBar.h"

#include <unistd.h>

#include <cstdio>

#include "util/Clock.h"

namespace bench {

namespace {

constexpr int64_t kQuietNanos = 2'000'000'000;  // runs shorter than this show nothing
constexpr int kWidth = 30;

}  // namespace

ProgressBar::ProgressBar(std::string label, int64_t total, bool enabled)
    : label_(std::move(label)),
      total_(total > 0 ? total : 1),
      active_(enabled && ::isatty(STDERR_FILENO) == 1),
      startNanos_(util::nowNanos()) {}

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
  if (!drawn_ && util::nowNanos() - startNanos_ < kQuietNanos)
    return;
  lastPercent_ = percent;
  drawn_ = true;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r%-24.24s [%.*s%*s] %3d%%", label_.c_str(), filled,
               "##############################", kWidth - filled, "", percent);
  std::fflush(stderr);
}

}  // namespace bench
