#include "bench/Counting.h"

#include <fcntl.h>
#include <sys/personality.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

#include "bench/Against.h"
#include "bench/ChildOutput.h"
#include "bench/Options.h"
#include "bench/Statistics.h"

namespace bench {

namespace {

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string selfPath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string geometryArgument(const char* name, const CacheGeometry& cache) {
  return std::string("--") + name + "=" + std::to_string(cache.bytes) + "," +
         std::to_string(cache.ways) + "," + std::to_string(cache.lineBytes);
}

// The arguments of `mapbench counted-run` for one run: the workload and the map, nothing
// else (the key file included, as a workload field), so that the counted process's heap does
// not depend on output file names.
std::vector<std::string> childArguments(const MapKind& kind, const TreeParameters& parameters,
                                        const WorkloadConfig& config) {
  WorkloadConfig counted = config;
  counted.sampleEvery = 0;  // latencies are not reported; the clock is not read
  std::vector<std::string> args = workloadArguments(counted);
  args.insert(args.end(), {"-m", kind.name, "-k", std::to_string(parameters.k), "--k-star",
                           std::to_string(parameters.k_star), "--no-progress"});
  return args;
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

std::string simulatedCachesText() {
  const SimulatedCaches& caches = kSimulatedCaches;
  std::ostringstream text;
  text << "I1 " << caches.i1.bytes << " B " << caches.i1.ways << "-way, D1 " << caches.d1.bytes
       << " B " << caches.d1.ways << "-way, LL " << caches.ll.bytes << " B " << caches.ll.ways
       << "-way, " << caches.d1.lineBytes << " B lines";
  return text.str();
}

std::string countHelp() {
  return "Count instead of timing: every map's measured operations run under valgrind's cache "
         "simulation (fixed caches: " +
         simulatedCachesText() +
         ") and the report gives instructions and D1/LL data misses per operation, the same on "
         "every run. Tens of times slower than timing: unless given, --ops " +
         std::to_string(kCountMeasuredOperations) +
         " and -r 1, which count a cell (the no-op map and the three default maps) in about a "
         "minute on a 2-core machine; "
         "--ops stays the same over --key-spaces. Needs valgrind on PATH";
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

std::optional<std::string> applyCountMode(Options& options, bool opsGiven, bool repetitionsGiven) {
  if (options.inProcess)
    return "--count runs every map in a process of its own under valgrind; --in-process does "
           "not apply";
#if defined(__SANITIZE_ADDRESS__)
  return "--count: valgrind cannot run a build with AddressSanitizer";
#endif
  if (!marksMeasuredRun())
    return "--count: this build has no marks for valgrind (it was built without valgrind's "
           "headers)";
  if (findValgrind().empty())
    return "--count needs valgrind on PATH (Debian package valgrind)";
  if (!opsGiven)
    options.config.measuredOperations = kCountMeasuredOperations;
  // A --key-spaces sweep counts the same operations in every cell.
  options.opsGiven = true;
  if (!repetitionsGiven)
    options.repetitions = 1;
  return std::nullopt;
}

bool countOnce(const MapKind& kind, const TreeParameters& parameters, const WorkloadConfig& config,
               RunResult& result, std::ostream& err) {
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
  const std::string resultPath = directory.file("result");
  const std::string errorPath = directory.file("stderr");
  const std::string countsPath = directory.file("callgrind.out");
  const std::string logPath = directory.file("valgrind.log");
  std::vector<std::string> clientArgs = {self, "counted-run"};
  for (std::string& arg : childArguments(kind, parameters, config))
    clientArgs.push_back(std::move(arg));
  std::vector<std::string> environment = paddedEnvironment(clientArgs);
  std::vector<std::string> args = {valgrind,
                                   "--tool=callgrind",
                                   "--cache-sim=yes",
                                   geometryArgument("I1", kSimulatedCaches.i1),
                                   geometryArgument("D1", kSimulatedCaches.d1),
                                   geometryArgument("LL", kSimulatedCaches.ll),
                                   "--instr-atstart=no",
                                   "--collect-atstart=no",
                                   "--dump-line=no",
                                   "--callgrind-out-file=" + countsPath,
                                   "--log-file=" + logPath};
  args.insert(args.end(), clientArgs.begin(), clientArgs.end());

  const pid_t child = ::fork();
  if (child < 0) {
    err << "mapbench: fork: " << std::strerror(errno) << "\n";
    return false;
  }
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(resultPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errors = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || errors < 0 || ::dup2(in, STDIN_FILENO) < 0 ||
        ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(errors, STDERR_FILENO) < 0) {
      ::_exit(126);
    }
    // The same addresses on every run: where the heap and the stack fall decides which
    // simulated cache sets they share.
    ::personality(ADDR_NO_RANDOMIZE);
    std::vector<char*> argv, envp;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string& variable : environment)
      envp.push_back(variable.data());
    envp.push_back(nullptr);
    ::execve(valgrind.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const std::string received = readFile(resultPath);
  std::ifstream counts(countsPath);
  const std::optional<EventCounts> totals = parseCallgrindTotals(counts);
  std::string failure;
  const std::optional<RunResult> sent = receivedResult(received, failure);
  const bool complete = sent.has_value();
  if (!complete || !totals || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string reason = failure;
    if (!reason.empty()) {
      // the run's own failure says most
    } else if (WIFSIGNALED(status)) {
      reason = std::string("ended by signal ") + strsignal(WTERMSIG(status));
    } else if (std::string said = lastLine(readFile(errorPath)); !said.empty()) {
      reason = said;
    } else if (std::string logged = lastLine(readFile(logPath)); !logged.empty()) {
      reason = "valgrind: " + logged;
    } else {
      reason = complete ? "callgrind wrote no totals" : "no result";
    }
    err << "mapbench: the counted run of " << kind.name << " failed: " << reason << "\n";
    return false;
  }
  result = *sent;
  result.counts = *totals;
  return true;
}

bool countCell(const Options& options, Cell& cell, std::ostream& err) {
  const MapKind& dummy = *findMap("dummy");
  const bool status = !options.noProgress && ::isatty(STDERR_FILENO) == 1;
  auto show = [&](const std::string& name) {
    if (status) {
      err << "\r\033[Kmapbench --count: " << name << ", key space " << cell.config.keySpace
          << ", under valgrind" << std::flush;
    }
  };
  bool ok = true;
  for (int repetition = 0; ok && repetition < options.repetitions; ++repetition) {
    RunResult baseline;
    show(dummy.name);
    ok = countOnce(dummy, options.parameters, cell.config, baseline, err);
    for (Measurement& measurement : cell.measurements) {
      if (!ok)
        break;
      RunResult run;
      show(measurement.map);
      ok = countOnce(*findMap(measurement.map), measurement.parameters, cell.config, run, err);
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
  if (const std::optional<int> status = parseOptions(argc, argv, options, help, std::cerr))
    return *status == 0 ? kUsageError : *status;
  if (options.maps.size() != 1) {
    std::cerr << "mapbench counted-run: expected one map, got " << options.maps.size() << "\n";
    return kUsageError;
  }
  const MapKind& kind = *findMap(options.maps.front());
  return runAndSend(STDOUT_FILENO, kind, options.parameters, options.config,
                    {.countValues = false, .showProgress = false})
             ? 0
             : 1;
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

void summarizeCounts(const Measurement& measurement, Row& row) {
  if (measurement.runs.empty() || !measurement.runs.front().counts.counted)
    return;
  row.counted = true;
  const double operations =
      static_cast<double>(std::max<int32_t>(measurement.config.measuredOperations, 1));
  std::vector<double> instructions, d1, ll;
  for (size_t i = 0; i < measurement.runs.size(); ++i) {
    const EventCounts& run = measurement.runs[i].counts;
    const EventCounts& baseline = measurement.baselines[i].counts;
    instructions.push_back(static_cast<double>(run.instructions - baseline.instructions) /
                           operations);
    d1.push_back(static_cast<double>(run.d1Misses - baseline.d1Misses) / operations);
    ll.push_back(static_cast<double>(run.llMisses - baseline.llMisses) / operations);
  }
  row.instructionsPerOperation = median(instructions);
  row.d1MissesPerOperation = median(d1);
  row.llMissesPerOperation = median(ll);
}

void printCountFooter(std::ostream& out) {
  out << "Counts per operation of the map's measured run minus the no-op map's, under "
         "valgrind's cache simulation:\nIr/op instructions; D1 and LL miss/op data misses "
         "(reads and writes) of the simulated caches ("
      << simulatedCachesText()
      << "),\nwhich start empty with the measured run. The same binary and options give the "
         "same counts on every run.\nB/entry: bytes the map has allocated at the end, exact.\n";
}

}  // namespace bench
