// mapbench: compares ordered multimaps on the seeded mixed workload.
//
// Every map runs the same operation stream as workload-generator (same generator, same
// draws), behind the same Map contract and push operator, with the no-op map's time of the
// same repetition subtracted. Run `mapbench --help` for the options. This file only chooses
// the mode (bench/modes/): `mapbench compare` sets two JSON reports side by side, `--against
// OTHER` times two builds in turns, `--check` checks that all maps agree, `--count` counts
// instead of timing (and `counted-run` is the process it counts), `--list` names the maps;
// otherwise the sweep runs.
//
// Exit statuses (bench/model/ExitStatus.h): kSuccess when every run finished, every map
// reported the size the driver expected and every result was written; kFailure when a run
// failed, a map disagreed or a result could not be written; kUsageError for a command line it
// refuses (one line on standard error, before any run starts).
#include <csignal>
#include <iostream>
#include <optional>
#include <string>

#include "bench/model/ExitStatus.h"
#include "bench/modes/Against.h"
#include "bench/modes/Check.h"
#include "bench/modes/Compare.h"
#include "bench/modes/Counting.h"
#include "bench/modes/Sweep.h"
#include "bench/options/Options.h"
#include "bench/run/HugePages.h"
#include "bench/run/Valgrind.h"

namespace {

// Standard output is where the results go: a failed write there fails the invocation.
int finish(int status) {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "mapbench: could not write the results to standard output\n";
    return bench::kFailure;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  if (argc > 1 && std::string(argv[1]) == "compare")
    return finish(bench::runCompare(argc - 1, argv + 1, std::cout, std::cerr));
  if (argc > 1 && std::string(argv[1]) == bench::kCountedRunCommand)
    return bench::runCountedChild(argc - 1, argv + 1);
  bench::Options options;
  if (const std::optional<int> exitStatus =
          bench::parseOptions(argc, argv, options, std::cout, std::cerr)) {
    return finish(*exitStatus);
  }
  if (!bench::useHugePagesAsAsked(options.hugePages, argv, std::cerr))
    return bench::kFailure;
  if (options.list)
    return finish(bench::listMaps(std::cout));
  if (!options.againstPath.empty())
    return finish(bench::runAgainst(options, std::cout, std::cerr));
  if (options.check)
    return finish(bench::runCheck(options, std::cout, std::cerr));
  return finish(bench::runSweep(options, std::cout, std::cerr));
}
