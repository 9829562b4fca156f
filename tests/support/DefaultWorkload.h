// Runs the workload generator's whole default workload (1M + 10M operations on each map) for
// tests, and hands back its standard output line by line.
#ifndef TESTS_SUPPORT_DEFAULT_WORKLOAD_H_
#define TESTS_SUPPORT_DEFAULT_WORKLOAD_H_

#include <sstream>
#include <string>
#include <vector>

#include "workload/WorkloadGenerator.h"

namespace test {

// What a run without arguments, with the tree maps `factory` makes, ended with.
struct WorkloadRun {
  int status;
  std::string err;
  std::vector<std::string> lines;  // standard output
};

inline WorkloadRun runDefaultWorkload(const TreeMapFactory& factory) {
  std::ostringstream out;
  std::ostringstream err;
  WorkloadRun run{WorkloadGenerator::main({}, factory, out, err), err.str(), {}};
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);)
    run.lines.push_back(line);
  return run;
}

}  // namespace test

#endif  // TESTS_SUPPORT_DEFAULT_WORKLOAD_H_
