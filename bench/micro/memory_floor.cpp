// memory-floor: the cost of one dependent random load, by working-set size.
//
// A point lookup in a tree larger than the cache pays at least one miss: on its leaf line.
// This program measures what such a miss costs on the machine at hand, by chasing pointers
// through one random cycle over all cache lines of a working set (each load's address
// depends on the previous load, so the misses cannot overlap). Its figures are the floor to
// put each tree's point-query latency beside. The chase is timed in short stretches and the
// fastest stretch counts: a floor is a lower bound, and on a shared machine a longer stretch
// would also time the moments this process waited for a core.
//
// Usage: memory-floor [--huge-pages] [MiB ...]   (default sizes 1 to 1024 MiB)
// With --huge-pages the working set asks for transparent huge pages (madvise), which takes
// most TLB misses out of the figure. A size is a decimal integer from 1 to 65536 and nothing
// else; anything else exits 2 with one line. Standard output that cannot be written (full,
// closed) exits 1 with one line on standard error.
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <random>
#include <vector>

#include "workload/ParseDecimal.h"

namespace {

constexpr size_t kLine = 64;
constexpr size_t kSteps = 20'000'000;
// About a millisecond of loads from memory: shorter than a scheduler's time slice, long
// enough that reading the clock costs nothing against it.
constexpr size_t kStretch = 8192;

struct alignas(kLine) Line {
  Line* next;
};

class Mapping {
 public:
  Mapping(size_t bytes, bool hugePages) : bytes_(bytes) {
    memory_ = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory_ == MAP_FAILED) {
      std::perror("mmap");
      std::exit(1);
    }
    ::madvise(memory_, bytes, hugePages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
  }
  ~Mapping() { ::munmap(memory_, bytes_); }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;

  Line* lines() const { return static_cast<Line*>(memory_); }

 private:
  void* memory_;
  size_t bytes_;
};

// Nanoseconds per dependent load over a random cycle through `bytes` of memory.
double nanosPerLoad(size_t bytes, bool hugePages) {
  const size_t count = bytes / kLine;
  Mapping mapping(bytes, hugePages);
  Line* lines = mapping.lines();
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin() + 1, order.end(), std::mt19937_64(42));
  for (size_t i = 0; i < count; ++i)
    lines[order[i]].next = &lines[order[(i + 1) % count]];

  Line* at = &lines[0];
  for (size_t i = 0; i < std::min(count, kSteps); ++i)  // warm the caches and the TLB
    at = at->next;
  double fastest = std::numeric_limits<double>::infinity();
  for (size_t done = 0; done < kSteps; done += kStretch) {
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < kStretch; ++i)
      at = at->next;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    fastest = std::min(fastest, std::chrono::duration<double, std::nano>(elapsed).count());
  }
  if (at == nullptr)  // keeps the chase from being optimised away
    std::puts("");
  return fastest / kStretch;
}

}  // namespace

int main(int argc, char** argv) {
  bool hugePages = false;
  std::vector<size_t> sizesMiB;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--huge-pages") == 0) {
      hugePages = true;
    } else {
      const std::optional<size_t> mib = test::parseDecimal<size_t>(argv[i]);
      if (!mib || *mib == 0 || *mib > (size_t{1} << 16)) {
        std::fprintf(stderr, "memory-floor: expected a size in MiB (1 .. 65536), got '%s'\n",
                     argv[i]);
        return 2;
      }
      sizesMiB.push_back(*mib);
    }
  }
  if (sizesMiB.empty())
    sizesMiB = {1, 4, 8, 16, 64, 256, 1024};
  std::printf("working set   ns per dependent load (%s)\n",
              hugePages ? "transparent huge pages" : "4 KiB pages");
  for (size_t mib : sizesMiB)
    std::printf("%7zu MiB   %6.1f\n", mib, nanosPerLoad(mib << 20, hugePages));
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "memory-floor: could not write the figures to standard output: %s\n",
                 std::strerror(errno));
    return 1;
  }
  return 0;
}
