#include "bench/modes/Counting.h"

#include <unistd.h>

#include <iostream>
#include <sstream>

#include "bench/run/BenchmarkRunner.h"
#include "bench/run/ChildProcess.h"
#include "bench/run/Valgrind.h"

namespace bench {

bool countCell(const Options& options, Cell& cell, std::ostream& err) {
  const MapKind& dummy = *findMap("dummy");
  const bool status = !options.noProgress && ::isatty(STDERR_FILENO) == 1;
  auto show = [&](const std::string& name) {
    if (status) {
      err << "\r\033[Kmapbench --count: " << name << ", key space " << cell.config.keySpace
          << ", under valgrind" << std::flush;
    }
  };
  // Each counted run's folder is removed before an interrupt ends mapbench.
  const InterruptScope scope;
  bool ok = true;
  for (int repetition = 0; ok && repetition < options.repetitions; ++repetition) {
    RunResult baseline;
    show(dummy.name);
    ok = countOnce(dummy, options.parameters, cell.config, options.timeLimitSeconds, baseline, err);
    for (Measurement& measurement : cell.measurements) {
      if (!ok)
        break;
      RunResult run;
      show(measurement.map);
      ok = countOnce(*findMap(measurement.map), measurement.parameters, cell.config,
                     options.timeLimitSeconds, run, err);
      measurement.runs.push_back(run);
      measurement.baselines.push_back(baseline);
    }
  }
  if (status)
    err << "\r\033[K" << std::flush;
  return ok;
}

int runCountedChild(int argc, const char* const* argv) {
  Options options;
  std::ostringstream help;
  if (const std::optional<int> status = parseChildOptions(argc, argv, options, help, std::cerr))
    return *status == 0 ? kUsageError : *status;
  if (options.maps.size() != 1) {
    std::cerr << "mapbench counted-run: expected one map, got " << options.maps.size() << "\n";
    return kUsageError;
  }
  const MapKind& kind = *findMap(options.maps.front());
  return runAndSend(STDOUT_FILENO, kind, options.parameters, options.config,
                    {.countValues = false, .showProgress = false})
             ? kSuccess
             : kFailure;
}

}  // namespace bench
