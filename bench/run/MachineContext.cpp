#include "bench/run/MachineContext.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <string>

#include "bench/run/BuildInfo.h"
#include "bench/run/HugePages.h"

#ifndef MAPBENCH_BUILD_TYPE
#define MAPBENCH_BUILD_TYPE "unknown"
#endif
#ifndef MAPBENCH_CXX_FLAGS
#define MAPBENCH_CXX_FLAGS "unknown"
#endif

namespace bench {

namespace {

std::string firstCpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos)
        return line.substr(colon + 2);
    }
  }
  return "unknown";
}

}  // namespace

Context machineContext() {
  Context context;
  context.compiler = compilerDescription();
  context.buildType = MAPBENCH_BUILD_TYPE;
  context.flags = MAPBENCH_CXX_FLAGS;
  context.commit = buildCommit();
  context.cpu = firstCpuModel();
  context.cores = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
  utsname names{};
  if (::uname(&names) == 0) {
    context.host = names.nodename;
    context.kernel = std::string(names.sysname) + " " + names.release + " " + names.machine;
  }
  const std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  context.date = date;
  context.hugePages = hugePagesRequested();
  return context;
}

}  // namespace bench
