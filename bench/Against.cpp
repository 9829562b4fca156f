#include "bench/Against.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "bench/ChildOutput.h"
#include "bench/Statistics.h"
#include "bench/Sweep.h"
#include "bench/WorkloadFields.h"

namespace bench {

namespace {

constexpr int kFailure = 1;

// What is kept of a child's standard output and of its error: a run's table or --check
// figures take a few KiB; more is a flood, and ends the comparison.
constexpr size_t kOutputBound = size_t{1} << 20;
// The largest file a child may write (its JSON report): a few KiB a row.
constexpr rlim_t kFileBound = rlim_t{64} << 20;

// The signal that interrupted the comparison, or 0.
volatile std::sig_atomic_t interruptedBy = 0;

extern "C" void noteInterrupt(int signal) {
  interruptedBy = signal;
}

// Catches SIGINT and SIGTERM while it lives (without restarting system calls, so that a wait
// returns at once), and puts the previous handlers back.
class InterruptCatcher {
 public:
  InterruptCatcher() {
    interruptedBy = 0;
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i)
      ::sigaction(kSignals[i], &action, &previous_[i]);
  }
  ~InterruptCatcher() {
    for (int i = 0; i < 2; ++i)
      ::sigaction(kSignals[i], &previous_[i], nullptr);
  }
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

 private:
  static constexpr int kSignals[2] = {SIGINT, SIGTERM};
  struct sigaction previous_[2]{};
};

struct ChildRun {
  bool ok = false;  // exited with status 0
  std::string out;
  std::string failure;  // why it did not: one line
};

// Runs `path` with `args` in a process group of its own, its output read through pipes and
// kept up to kOutputBound, its files bounded by kFileBound. A flood, the time limit or an
// interruption ends the whole group.
ChildRun runChild(const std::string& path, const std::vector<std::string>& args,
                  int timeLimitSeconds) {
  ChildRun run;
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0)
    return {false, "", std::string("pipe: ") + std::strerror(errno)};
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return {false, "", std::string("pipe: ") + std::strerror(errno)};
  }
  std::vector<char*> argv = {const_cast<char*>(path.c_str())};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::setpgid(0, 0);
    const rlimit files{kFileBound, kFileBound};
    const int in = ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(outPipe[1], STDOUT_FILENO) < 0 ||
        ::dup2(errPipe[1], STDERR_FILENO) < 0 || ::setrlimit(RLIMIT_FSIZE, &files) != 0) {
      ::_exit(126);
    }
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (child < 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return {false, "", std::string("fork: ") + std::strerror(errno)};
  }
  ::setpgid(child, child);  // as the child does, whichever comes first

  std::string err;
  std::vector<pollfd> fds = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
  int status = 0;
  bool reaped = false;
  std::string stopped;  // why the group was ended
  while (!(reaped && fds.empty())) {
    if (interruptedBy != 0) {
      stopped = "interrupted";
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      stopped = "did not finish within the time limit of " + std::to_string(timeLimitSeconds) +
                " s (--time-limit)";
      break;
    }
    if (!reaped) {
      const pid_t done = ::waitpid(child, &status, WNOHANG);
      reaped = done == child;
    }
    // Wakes up at least ten times a second to look at the clock, the child and the signals.
    const int wait = static_cast<int>(std::min<int64_t>(left.count(), 100));
    if (fds.empty()) {
      ::poll(nullptr, 0, wait);
      continue;
    }
    if (::poll(fds.data(), fds.size(), wait) <= 0)
      continue;
    for (size_t i = 0; i < fds.size();) {
      if (fds[i].revents == 0) {
        ++i;
        continue;
      }
      char buffer[65536];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        ::close(fds[i].fd);
        fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      const bool isOut = fds[i].fd == outPipe[0];
      std::string& kept = isOut ? run.out : err;
      kept.append(buffer, static_cast<size_t>(n));
      if (kept.size() > kOutputBound) {
        stopped = "wrote more than " + std::to_string(kOutputBound >> 20) + " MiB to its " +
                  (isOut ? "standard output" : "standard error");
        break;
      }
      ++i;
    }
    if (!stopped.empty())
      break;
  }
  for (const pollfd& fd : fds)
    ::close(fd.fd);
  if (!stopped.empty()) {
    ::kill(-child, SIGKILL);
    if (!reaped)
      ::waitpid(child, &status, 0);
    run.failure = stopped;
    return run;
  }
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (WIFSIGNALED(status)) {
    run.failure = std::string("ended by signal ") + strsignal(WTERMSIG(status));
  } else if (!run.ok) {
    // Its own last words, else the end of its output (a size or check failure is there).
    std::string said = lastLine(err);
    if (said.empty())
      said = lastLine(run.out);
    run.failure =
        "exit status " + std::to_string(WEXITSTATUS(status)) + (said.empty() ? "" : ": " + said);
  }
  return run;
}

std::string selfPath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ",") + name;
  return text;
}

// The figures of a --check report: their JSON names, how a difference names them, and
// whether the builds must agree on them (the end-of-query calls are the map's own affair).
struct CheckFigure {
  const char* json;
  const char* name;
  int64_t CheckFigures::*member;
  bool mustAgree;
};
constexpr CheckFigure kCheckFigures[] = {
    {"values_pushed", "values pushed", &CheckFigures::valuesPushed, true},
    {"value_sum", "sum of the values", &CheckFigures::valueSum, true},
    {"queries", "queries", &CheckFigures::queries, true},
    {"end_of_query", "end-of-query calls", &CheckFigures::endOfQuery, false},
    {"size", "final size", &CheckFigures::size, true},
};

// The two builds, and what every run of either takes.
struct Builds {
  std::string path[2];  // [0] this build, judged against [1] the other
  const TempDirectory& directory;
  int timeLimitSeconds;
  bool showProgress;
  std::ostream& err;

  // The error stream with the status line cleared, so that an error line stands alone.
  std::ostream& fail() const { return err << (showProgress ? "\r\033[K" : ""); }
};

// One cell's runs: where it is, its workload's arguments and what runs in it.
struct CellRuns {
  std::string where;
  std::vector<std::string> workload;
  std::vector<std::string> maps, trees;  // trees: the maps with tree parameters
  std::vector<std::string> pairs;        // "k:k_star" of the trees
};

// Plan: every cell's runs, with the command line of its workload.
std::vector<CellRuns> planRuns(const Options& options, const std::vector<Cell>& cells) {
  std::vector<CellRuns> plan;
  for (const Cell& cell : cells) {
    CellRuns runs;
    for (const Measurement& measurement : cell.measurements) {
      if (std::find(runs.maps.begin(), runs.maps.end(), measurement.map) == runs.maps.end()) {
        runs.maps.push_back(measurement.map);
        if (measurement.usesTreeParameters)
          runs.trees.push_back(measurement.map);
      }
      const std::string pair = std::to_string(measurement.parameters.k) + ":" +
                               std::to_string(measurement.parameters.k_star);
      if (measurement.usesTreeParameters &&
          std::find(runs.pairs.begin(), runs.pairs.end(), pair) == runs.pairs.end())
        runs.pairs.push_back(pair);
    }
    if (runs.maps.empty())
      continue;
    runs.where = "key space " + std::to_string(cell.config.keySpace) + ", " +
                 std::string(test::distributionName(cell.config.distribution));
    runs.workload = workloadArguments(cell.config);
    runs.workload.push_back("--no-progress");
    if (options.hugePages)
      runs.workload.push_back("--huge-pages");
    if (options.count)
      runs.workload.push_back("--count");
    plan.push_back(std::move(runs));
  }
  return plan;
}

// Gate: both builds deliver the same values in the cell, the maps without parameters once,
// the trees with every pair. False, after one line, when they do not.
bool gate(const CellRuns& cell, const Builds& builds) {
  const std::string report = builds.directory.file("check.json");
  for (size_t p = 0; p < std::max<size_t>(cell.pairs.size(), 1); ++p) {
    const std::vector<std::string>& checked = p == 0 ? cell.maps : cell.trees;
    if (checked.empty())
      continue;
    std::vector<std::string> args = cell.workload;
    args.insert(args.end(), {"--check", "-m", joined(checked), "--json", report});
    if (!cell.pairs.empty()) {
      const size_t colon = cell.pairs[p].find(':');
      args.insert(args.end(), {"-k", cell.pairs[p].substr(0, colon), "--k-star",
                               cell.pairs[p].substr(colon + 1)});
    }
    CheckReport figures[2];
    for (int side = 0; side < 2; ++side) {
      std::remove(report.c_str());
      const ChildRun run = runChild(builds.path[side], args, builds.timeLimitSeconds);
      std::string error;
      if (!run.ok || !readCheckReport(report, figures[side], error)) {
        builds.fail() << "mapbench: --against: the --check run of " << builds.path[side] << " at "
                      << cell.where << " failed: " << (run.ok ? error : run.failure) << "\n";
        return false;
      }
    }
    if (const std::optional<std::string> difference =
            checkDifference(figures[0], figures[1], checked)) {
      builds.fail() << "mapbench: --against: the builds differ at " << cell.where
                    << (cell.pairs.empty() ? "" : ", k:k_star " + cell.pairs[p]) << ": "
                    << *difference << "\n";
      return false;
    }
  }
  return true;
}

// One row from an invocation per pair: the pairs' times, and the median of each compared
// figure.
Json mergeRuns(const std::vector<Json>& runs) {
  Json merged = runs.front();
  const Column& medianTime = columnComparedAs(Compared::kValuesAndRatio);
  std::vector<double> times;  // one repetition each; a run too short to time has none
  for (const Json& run : runs) {
    if (const std::optional<double> time = numberAt(run, medianTime.json))
      times.push_back(*time);
  }
  for (const Column& column : rowColumns()) {
    if (column.json.empty() || column.compared == Compared::kNo ||
        column.compared == Compared::kTimes)
      continue;
    std::vector<double> values;
    for (const Json& run : runs) {
      if (const std::optional<double> value = numberAt(run, column.json))
        values.push_back(*value);
    }
    if (values.size() == runs.size())
      setAt(merged, column.json, median(values));
  }
  if (times.size() == runs.size()) {
    setAt(merged, columnComparedAs(Compared::kTimes).json, times);
  } else {
    setAt(merged, columnComparedAs(Compared::kTimes).json, nullptr);
    setAt(merged, medianTime.json, nullptr);
  }
  return merged;
}

// Pairs: the timed runs of the cell in turns, each side's rows merged over the pairs into
// `sides`. False, after one line, when a run failed.
bool runPairs(const CellRuns& cell, const Builds& builds, int repetitions, size_t cellNumber,
              size_t cellCount, ResultSet sides[2]) {
  const std::string report = builds.directory.file("results.json");
  std::vector<std::string> args = cell.workload;
  args.insert(args.end(), {"-m", joined(cell.maps), "-r", "1", "--json", report});
  if (!cell.pairs.empty())
    args.insert(args.end(), {"--k-pairs", joined(cell.pairs)});
  std::map<std::string, std::vector<Json>> runs[2];
  std::vector<std::string> order;
  for (int pair = 0; pair < repetitions; ++pair) {
    for (int side = 0; side < 2; ++side) {
      if (builds.showProgress) {
        builds.err << "\rmapbench --against: cell " << cellNumber << "/" << cellCount << ", pair "
                   << pair + 1 << "/" << repetitions << ", " << (side == 0 ? "new" : "base")
                   << " build " << std::flush;
      }
      std::remove(report.c_str());
      const ChildRun run = runChild(builds.path[side], args, builds.timeLimitSeconds);
      ResultSet results;
      std::string error;
      if (!run.ok || !readResults(report, results, error)) {
        builds.fail() << "mapbench: --against: the run of " << builds.path[side] << " at "
                      << cell.where << " failed: " << (run.ok ? error : run.failure) << "\n";
        return false;
      }
      if (sides[side].context.empty())
        sides[side].context = results.context;
      for (const Json& row : results.rows) {
        // A column an older build may lack (Column::whenMissing, such as the split rule, whose
        // older builds split in the middle) does not keep its rows from this build's.
        Json keyed = row;
        for (const Column& column : rowColumns()) {
          if (column.whenMissing)
            keyed.erase(column.json);
        }
        const std::string key = rowKey(keyed, true);
        if (pair == 0 && side == 0)
          order.push_back(key);
        runs[side][key].push_back(row);
      }
    }
  }
  for (const std::string& key : order) {
    for (int side = 0; side < 2; ++side) {
      const std::vector<Json>& list = runs[side][key];
      if (list.size() != static_cast<size_t>(repetitions)) {
        builds.fail() << "mapbench: --against: " << builds.path[side]
                      << " did not report every run at " << cell.where << "\n";
        return false;
      }
      sides[side].rows.push_back(mergeRuns(list));
    }
  }
  return true;
}

// Plan, gate and pairs, cell by cell; merge. The exit status.
int compareAgainst(const Options& options, const TempDirectory& directory, std::ostream& out,
                   std::ostream& err) {
  const std::vector<Cell> cells = planCells(options, selectMaps(options.maps));
  if (const std::optional<std::string> refusal = memoryRefusal(cells)) {
    err << "mapbench: " << *refusal << "\n";
    return kUsageError;
  }
  const std::string self = selfPath();
  if (self.empty() || !directory.ok()) {
    err << "mapbench: --against: "
        << (self.empty() ? "cannot find this program's own file"
                         : "cannot make a temporary directory")
        << "\n";
    return kFailure;
  }
  // A status line on a terminal: a cell of a large sweep can take minutes.
  const Builds builds{{self, options.againstPath},
                      directory,
                      options.timeLimitSeconds,
                      !options.noProgress && ::isatty(STDERR_FILENO) == 1,
                      err};
  ResultSet sides[2];
  sides[0].name = self;
  sides[1].name = options.againstPath;
  const std::vector<CellRuns> plan = planRuns(options, cells);
  for (size_t i = 0; i < plan.size(); ++i) {
    if (!gate(plan[i], builds) ||
        !runPairs(plan[i], builds, options.repetitions, i + 1, plan.size(), sides))
      return kFailure;
  }
  if (builds.showProgress)
    builds.fail() << std::flush;
  const Comparison comparison = compareBuilds(sides[0], sides[1], options.verdict.alpha);
  if (options.count) {
    out << "mapbench --against --count: both builds counted every cell under valgrind's cache "
           "simulation;\nboth builds pushed the same values in every cell.\n";
  } else {
    out << "mapbench --against: " << options.repetitions
        << (options.repetitions == 1 ? " pair" : " pairs")
        << " of runs per cell, in turns (new, base, new, base, ...), each run a separate "
           "invocation;\nboth builds pushed the same values in every cell.\n";
  }
  return reportComparison(comparison, sides[1], sides[0], options.jsonPath,
                          options.verdict.failAbove, out, err);
}

}  // namespace

Json checkReportJson(const CheckReport& report) {
  Json rows = Json::array();
  for (const auto& [map, figures] : report) {
    Json row = {{"map", map}};
    for (const CheckFigure& figure : kCheckFigures)
      row[figure.json] = figures.*figure.member;
    rows.push_back(std::move(row));
  }
  return {{"check", std::move(rows)}};
}

bool readCheckReport(const std::string& path, CheckReport& report, std::string& error) {
  std::ifstream file(path);
  const Json document = Json::parse(file, nullptr, false);
  const Json* rows = document.is_object() ? findAt(document, "check") : nullptr;
  if (!file || rows == nullptr || !rows->is_array()) {
    error = path + " holds no --check figures (a build that cannot write them with --json?)";
    return false;
  }
  report.clear();
  for (const Json& row : *rows) {
    const Json* map = row.is_object() ? findAt(row, "map") : nullptr;
    if (map == nullptr || !map->is_string()) {
      error = path + " holds --check figures without a map";
      return false;
    }
    CheckFigures& figures = report[map->get<std::string>()];
    for (const CheckFigure& figure : kCheckFigures) {
      const Json* value = findAt(row, figure.json);
      if (value == nullptr || !value->is_number_integer()) {
        error = path + " holds no " + figure.name + " for " + map->get<std::string>();
        return false;
      }
      figures.*figure.member = value->get<int64_t>();
    }
  }
  return true;
}

std::optional<std::string> checkDifference(const CheckReport& here, const CheckReport& there,
                                           const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const auto mine = here.find(name), theirs = there.find(name);
    if (mine == here.end() || theirs == there.end())
      return name + " is missing from the --check figures of " +
             (mine == here.end() ? "this build" : "the other build");
    for (const CheckFigure& figure : kCheckFigures) {
      const int64_t x = mine->second.*figure.member, y = theirs->second.*figure.member;
      if (figure.mustAgree && x != y) {
        return name + " " + figure.name + ": " + std::to_string(x) + " here, " + std::to_string(y) +
               " in the other build";
      }
    }
  }
  return std::nullopt;
}

Comparison compareBuilds(const ResultSet& thisBuild, const ResultSet& otherBuild, double alpha) {
  Comparison comparison = compareResults(otherBuild, thisBuild, alpha);
  comparison.interleaved = true;
  for (RowComparison& row : comparison.rows) {
    for (size_t i = 0; i < row.newTimes.size() && i < row.baseTimes.size(); ++i) {
      if (row.baseTimes[i] > 0)
        row.pairRatios.push_back(row.newTimes[i] / row.baseTimes[i]);
    }
  }
  return comparison;
}

int runAgainst(const Options& options, std::ostream& out, std::ostream& err) {
  int status = kFailure;
  {
    const InterruptCatcher catcher;
    const TempDirectory directory("mapbench-against");
    status = compareAgainst(options, directory, out, err);
  }  // the folder is gone, the handlers are back
  if (const int signal = interruptedBy; signal != 0) {
    err.flush();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  return status;
}

}  // namespace bench
