#include "bench/modes/Counting.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <sstream>

#include "bench/run/BenchmarkRunner.h"
#include "bench/run/ChildProcess.h"
#include "bench/run/Valgrind.h"

namespace bench {

namespace {

// Writes `keys` (ascending, distinct) to `path` as a SOSD uint32 file, each key mapped back
// as the file reader maps it (u ^ 2^31 is the int32 key), so the file reads as `keys` again.
bool writeSosd32(const std::string& path, const std::vector<int32_t>& keys) {
  std::ofstream file(path, std::ios::binary);
  auto put = [&](uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      file.put(static_cast<char>((value >> (8 * i)) & 0xff));
  };
  put(keys.size(), 8);
  for (const int32_t key : keys)
    put(static_cast<uint32_t>(key) ^ 0x8000'0000u, 4);
  file.close();
  return static_cast<bool>(file);
}

}  // namespace

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
  // The counted runs read the keys the report names, written once here, never the user's
  // file again (which may have changed since, or be a stream read up already).
  WorkloadConfig config = cell.config;
  const TempDirectory keysFolder("mapbench-count-keys");
  if (config.keySet) {
    config.keyFile = keysFolder.file("keys_uint32");
    config.keyFormat = "sosd32";
    if (!keysFolder.ok() || !writeSosd32(config.keyFile, config.keySet->keys)) {
      err << "mapbench: --count: cannot write the keys for the counted runs into a temporary "
             "folder\n";
      return false;
    }
  }
  bool ok = true;
  for (int repetition = 0; ok && repetition < options.repetitions; ++repetition) {
    RunResult baseline;
    show(dummy.name);
    ok = countOnce(dummy, options.parameters, config, options.timeLimitSeconds, baseline, err);
    for (Measurement& measurement : cell.measurements) {
      if (!ok)
        break;
      RunResult run;
      show(measurement.map);
      ok = countOnce(*findMap(measurement.map), measurement.parameters, config,
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
