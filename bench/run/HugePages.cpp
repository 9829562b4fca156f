#include "bench/run/HugePages.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "util/Arena.h"

namespace bench {

bool tunablesAskForHugePages(std::string_view tunables) {
  const std::string_view wanted = kHugePagesTunable;
  const std::string_view name = wanted.substr(0, wanted.find('=') + 1);  // "glibc.malloc.hugetlb="
  bool asked = false;
  while (!tunables.empty()) {
    const size_t colon = tunables.find(':');
    const std::string_view entry = tunables.substr(0, colon);
    if (entry.substr(0, name.size()) == name)
      asked = entry == wanted;
    tunables = colon == std::string_view::npos ? std::string_view() : tunables.substr(colon + 1);
  }
  return asked;
}

bool hugePagesRequested() {
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  return tunables != nullptr && tunablesAskForHugePages(tunables);
}

std::optional<std::string> hugePagesUnavailable(const std::string& policyPath) {
  std::ifstream in(policyPath);
  std::string policy;
  if (!std::getline(in, policy))
    return "transparent huge pages are not available here (" + policyPath + " cannot be read)";
  // The file lists every policy and brackets the one in force: "always [madvise] never".
  if (policy.find("[always]") == std::string::npos && policy.find("[madvise]") == std::string::npos)
    return "transparent huge pages are turned off here (" + policyPath + ": " + policy + ")";
  return std::nullopt;
}

std::string tunablesWithHugePages(const std::optional<std::string>& current) {
  if (!current || current->empty())
    return kHugePagesTunable;
  return *current + ":" + kHugePagesTunable;  // tunables are separated by colons
}

std::string restartWithHugePages(char** argv) {
  const char* current = std::getenv("GLIBC_TUNABLES");
  const std::string tunables = tunablesWithHugePages(
      current != nullptr ? std::optional<std::string>(current) : std::nullopt);
  if (::setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0)
    return std::string("setenv: ") + std::strerror(errno);
  ::execv("/proc/self/exe", argv);
  return std::string("could not restart with huge pages: ") + std::strerror(errno);
}

int64_t hugePageBytes() {
  std::ifstream in("/proc/self/smaps_rollup");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("AnonHugePages:", 0) == 0) {
      std::istringstream fields(line.substr(std::strlen("AnonHugePages:")));
      int64_t kilobytes = 0;
      fields >> kilobytes;
      return kilobytes * 1024;
    }
  }
  return 0;
}

bool useHugePagesAsAsked(bool asked, char** argv, std::ostream& err) {
  // Tunables are read at start-up: the runs need a process that started with it.
  if (asked && !hugePagesRequested()) {
    // Returns only on failure; the message is written after it, so that a restart that works
    // leaves nothing half-written behind.
    const std::string failure = restartWithHugePages(argv);
    err << "mapbench: " << failure << "\n";
    return false;
  }
  // The trees' arenas map their chunks on huge pages themselves (malloc's tunable does not
  // reach them); the forked runs inherit the choice.
  util::Arena::useHugePages(hugePagesRequested());
  return true;
}

}  // namespace bench
