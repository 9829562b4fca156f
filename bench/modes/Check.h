// Check: mapbench --check, whether every map delivers the same values on the same workload.
//
// runCheck() runs every map once per cell of the sweep (preset, key space, distribution)
// with counting push operators and prints, per map, the values pushed, their sum, the
// queries, the end-of-query calls and the final size; maps that differ from the first, or
// whose size is not the driver's, are marked. With --json, the file holds every cell's
// figures under "cells" (each with its workload, distribution and key space) and the last
// cell's under "check"; --against, which checks one cell, reads those back
// (readCheckReport) from both builds and holds them to the same figures.
//
// Failure rule: readCheckReport() and checkDifference() return their refusal or nothing;
// runCheck() returns the exit status. Process state: every run but --in-process ones is a
// forked child, ended with its process group when SIGINT or SIGTERM end mapbench.
#ifndef BENCH_MODES_CHECK_H_
#define BENCH_MODES_CHECK_H_

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/model/Columns.h"
#include "bench/options/Options.h"

namespace bench {

// `mapbench --check`: kSuccess when every map agrees and the --json file was written, else
// kFailure.
int runCheck(const Options& options, std::ostream& out, std::ostream& err);

// What one map pushed in a --check run, by map name: what `mapbench --check --json` writes.
struct CheckFigures {
  int64_t valuesPushed = 0, valueSum = 0, queries = 0, endOfQuery = 0, size = 0;
};
using CheckReport = std::map<std::string, CheckFigures>;

Json checkReportJson(const CheckReport& report);
// Reads the figures of a --check --json file into `report`; the refusal when it has none.
std::optional<std::string> readCheckReport(const std::string& path, CheckReport& report);

// The first difference between the two builds' figures of the maps `names`, or nothing.
std::optional<std::string> checkDifference(const CheckReport& here, const CheckReport& there,
                                           const std::vector<std::string>& names);

}  // namespace bench

#endif  // BENCH_MODES_CHECK_H_
