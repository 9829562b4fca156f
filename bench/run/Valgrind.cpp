#include "bench/run/Valgrind.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "bench/model/WorkloadFields.h"
#include "bench/run/BenchmarkRunner.h"
#include "bench/run/ChildProcess.h"

namespace bench {

namespace {

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string geometryArgument(const char* name, const CacheGeometry& cache) {
  return std::string("--") + name + "=" + std::to_string(cache.bytes) + "," +
         std::to_string(cache.ways) + "," + std::to_string(cache.lineBytes);
}

// What the start of the counted process's stack holds besides fixed-size data: the strings
// of its arguments, its environment and its file name, and a pointer to each. Padding it to
// kStackPrefixBytes keeps the stack at the same addresses whatever the environment and the
// paths are, so that its lines meet the same simulated cache sets on every machine.
constexpr size_t kStackPrefixBytes = size_t{64} << 10;
constexpr const char* kPadVariable = "MAPBENCH_COUNT_PAD=";

// This process's environment for the counted process, with a padding variable that brings
// the stack's prefix to kStackPrefixBytes (to the next 4 KiB beyond it where the environment
// is larger, which still keeps the first-level cache's sets).
std::vector<std::string> paddedEnvironment(const std::vector<std::string>& clientArgs) {
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, kPadVariable, std::strlen(kPadVariable)) != 0)
      environment.emplace_back(*variable);
  }
  size_t bytes = clientArgs.front().size() + 1;  // the file name the loader keeps
  for (const std::vector<std::string>* strings : {&clientArgs, &std::as_const(environment)}) {
    for (const std::string& text : *strings)
      bytes += text.size() + 1 + sizeof(char*);
  }
  bytes += std::strlen(kPadVariable) + 1 + sizeof(char*);
  size_t target = kStackPrefixBytes;
  while (target < bytes)
    target += 4096;
  environment.push_back(kPadVariable + std::string(target - bytes, 'x'));
  return environment;
}

}  // namespace

std::vector<std::string> countedRunArguments(const MapKind& kind, const TreeParameters& parameters,
                                             const WorkloadConfig& config) {
  WorkloadConfig counted = config;
  counted.sampleEvery = 0;  // latencies are not reported; the clock is not read
  std::vector<std::string> args = workloadArguments(counted);
  args.insert(args.end(), {"-m", kind.name, "-k", std::to_string(parameters.k), "--k-star",
                           std::to_string(parameters.k_star), "--no-progress"});
  return args;
}

std::vector<std::string> valgrindArguments(const std::string& countsPath,
                                           const std::string& logPath) {
  return {"--tool=callgrind",
          "--cache-sim=yes",
          geometryArgument("I1", kSimulatedCaches.i1),
          geometryArgument("D1", kSimulatedCaches.d1),
          geometryArgument("LL", kSimulatedCaches.ll),
          "--instr-atstart=no",
          "--collect-atstart=no",
          "--dump-line=no",
          "--callgrind-out-file=" + countsPath,
          "--log-file=" + logPath};
}

std::string simulatedCachesText() {
  const SimulatedCaches& caches = kSimulatedCaches;
  std::ostringstream text;
  text << "I1 " << caches.i1.bytes << " B " << caches.i1.ways << "-way, D1 " << caches.d1.bytes
       << " B " << caches.d1.ways << "-way, LL " << caches.ll.bytes << " B " << caches.ll.ways
       << "-way, " << caches.d1.lineBytes << " B lines";
  return text.str();
}

std::string findValgrind() {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "");
  for (std::string directory; std::getline(directories, directory, ':');) {
    const std::string candidate = (directory.empty() ? "." : directory) + "/valgrind";
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

bool countOnce(const MapKind& kind, const TreeParameters& parameters, const WorkloadConfig& config,
               int timeLimitSeconds, RunResult& result, std::ostream& err) {
  const std::string valgrind = findValgrind();
  const std::string self = selfPath();
  const TempDirectory directory("mapbench-count");
  if (valgrind.empty() || self.empty() || !directory.ok()) {
    err << "mapbench: --count: "
        << (valgrind.empty() ? "valgrind is no longer on PATH"
            : self.empty()   ? "cannot find this program's own file"
                             : "cannot make a temporary directory")
        << "\n";
    return false;
  }
  const std::string countsPath = directory.file("callgrind.out");
  const std::string logPath = directory.file("valgrind.log");
  std::vector<std::string> clientArgs = {self, kCountedRunCommand};
  for (std::string& arg : countedRunArguments(kind, parameters, config))
    clientArgs.push_back(std::move(arg));
  ChildRequest request;
  request.environment = paddedEnvironment(clientArgs);
  request.argv = {valgrind};
  for (std::string& arg : valgrindArguments(countsPath, logPath))
    request.argv.push_back(std::move(arg));
  request.argv.insert(request.argv.end(), clientArgs.begin(), clientArgs.end());
  // The same addresses on every run: where the heap and the stack fall decides which
  // simulated cache sets they share.
  request.fixedAddresses = true;
  request.timeLimitSeconds = timeLimitSeconds;
  const ChildRun run = runChild(request);
  std::ifstream counts(countsPath);
  const std::optional<EventCounts> totals = parseCallgrindTotals(counts);
  std::string failure;
  const std::optional<RunResult> sent = receivedResult(run.out, failure);
  if (!run.ok || !sent || !totals) {
    if (!failure.empty()) {
      err << failure << "\n";  // the run's own line says most
      return false;
    }
    std::string reason;
    if (!run.ok && run.failure.rfind("exit status", 0) != 0)
      reason = run.failure;  // a signal, the time limit, a flood, an interruption
    if (reason.empty())
      reason = lastLine(run.err);
    if (const std::string logged = lastLine(readFile(logPath)); reason.empty() && !logged.empty())
      reason = "valgrind: " + logged;
    if (reason.empty())
      reason = sent ? "callgrind wrote no totals" : "no result";
    err << "mapbench: the counted run of " << kind.name << " failed: " << reason << "\n";
    return false;
  }
  result = *sent;
  result.counts = *totals;
  return true;
}

std::optional<EventCounts> parseCallgrindTotals(std::istream& in) {
  std::vector<std::string> names;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string head;
    words >> head;
    if (head == "events:") {
      names.clear();
      for (std::string name; words >> name;)
        names.push_back(name);
      continue;
    }
    if (head != "totals:" || names.empty())
      continue;
    EventCounts counts;
    counts.counted = true;
    bool haveInstructions = false;
    for (const std::string& name : names) {
      int64_t value = 0;
      if (!(words >> value))
        break;  // callgrind leaves out trailing zeros
      if (name == "Ir") {
        counts.instructions = value;
        haveInstructions = true;
      } else if (name == "D1mr" || name == "D1mw") {
        counts.d1Misses += value;
      } else if (name == "DLmr" || name == "DLmw") {
        counts.llMisses += value;
      }
    }
    // The cache events must have been simulated, else a miss count of 0 would be a lie.
    const bool simulated = std::find(names.begin(), names.end(), "D1mr") != names.end() &&
                           std::find(names.begin(), names.end(), "DLmw") != names.end();
    if (!haveInstructions || !simulated)
      return std::nullopt;
    return counts;
  }
  return std::nullopt;
}

}  // namespace bench
