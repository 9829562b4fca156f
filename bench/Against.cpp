#include "bench/Against.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "bench/Compare.h"
#include "bench/Statistics.h"
#include "bench/Sweep.h"
#include "util/NumberFormat.h"

namespace bench {

namespace {

// A directory of its own for the children's output, removed with everything in it.
class TempDirectory {
 public:
  TempDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/mapbench-against-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr)
      path_ = pattern;
  }
  ~TempDirectory() {
    if (path_.empty())
      return;
    for (const char* name : {kStdout, kStderr, kResults})
      std::remove(file(name).c_str());
    ::rmdir(path_.c_str());
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string file(const char* name) const { return path_ + "/" + name; }

  static constexpr const char* kStdout = "stdout";
  static constexpr const char* kStderr = "stderr";
  static constexpr const char* kResults = "results.json";

 private:
  std::string path_;
};

std::string readFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

struct ChildRun {
  bool ok = false;  // exited with status 0
  std::string out, err;
  std::string failure;  // why it did not
};

// Runs `path` with `args`; its standard output and error go to files in `directory`.
ChildRun runChild(const std::string& path, const std::vector<std::string>& args,
                  const TempDirectory& directory) {
  const std::string outPath = directory.file(TempDirectory::kStdout);
  const std::string errPath = directory.file(TempDirectory::kStderr);
  const pid_t child = ::fork();
  ChildRun run;
  if (child < 0) {
    run.failure = std::string("fork: ") + std::strerror(errno);
    return run;
  }
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, STDIN_FILENO) < 0 ||
        ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0) {
      ::_exit(126);
    }
    std::vector<char*> argv = {const_cast<char*>(path.c_str())};
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (WIFSIGNALED(status)) {
    run.failure = std::string("ended by signal ") + strsignal(WTERMSIG(status));
  } else if (!run.ok) {
    // Its own last words, else the end of its output (a size or check failure is there).
    std::string said = run.err.find_first_not_of(" \n") != std::string::npos ? run.err : run.out;
    while (!said.empty() && said.back() == '\n')
      said.pop_back();
    said = said.substr(said.rfind('\n') == std::string::npos ? 0 : said.rfind('\n') + 1);
    run.failure = "exit status " + std::to_string(WEXITSTATUS(status)) +
                  (said.empty() ? std::string() : ": " + said);
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

// What a --check run printed for each map.
struct CheckLine {
  int64_t valuesPushed = 0, valueSum = 0, queries = 0, endOfQuery = 0, size = 0;
};

std::map<std::string, CheckLine> parseCheck(const std::string& output) {
  std::map<std::string, CheckLine> lines;
  std::istringstream text(output);
  for (std::string line; std::getline(text, line);) {
    std::istringstream words(line);
    std::string name;
    CheckLine check;
    if (words >> name >> check.valuesPushed >> check.valueSum >> check.queries >>
        check.endOfQuery >> check.size) {
      lines[name] = check;
    }
  }
  return lines;
}

// The first difference between the two builds' --check figures of the same maps, or nothing.
std::optional<std::string> checkDifference(const std::map<std::string, CheckLine>& here,
                                           const std::map<std::string, CheckLine>& there,
                                           const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const auto mine = here.find(name), theirs = there.find(name);
    if (mine == here.end() || theirs == there.end())
      return name + " is missing from the --check output of " +
             (mine == here.end() ? "this build" : "the other build");
    const CheckLine& a = mine->second;
    const CheckLine& b = theirs->second;
    for (const auto& [what, x, y] :
         {std::tuple{"values pushed", a.valuesPushed, b.valuesPushed},
          std::tuple{"sum of the values", a.valueSum, b.valueSum},
          std::tuple{"queries", a.queries, b.queries}, std::tuple{"final size", a.size, b.size}}) {
      if (x != y) {
        return name + " " + what + ": " + std::to_string(x) + " here, " + std::to_string(y) +
               " in the other build";
      }
    }
  }
  return std::nullopt;
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

}  // namespace

std::vector<std::string> workloadArguments(const WorkloadConfig& config) {
  return {"--key-space",    std::to_string(config.keySpace),
          "--fill",         std::to_string(config.fillOperations),
          "--ops",          std::to_string(config.measuredOperations),
          "--distribution", std::string(test::distributionName(config.distribution)),
          "--theta",        util::formatDouble(config.theta),
          "--query-ratio",  util::formatDouble(config.measuredMix.queryRatio),
          "--range-ratio",  util::formatDouble(config.measuredMix.rangeQueryRatio),
          "--delete-ratio", util::formatDouble(config.measuredMix.deleteRatio),
          "--range-length", std::to_string(config.maxRangeSize),
          "--seed",         std::to_string(config.seed),
          "--sample-every", std::to_string(config.sampleEvery)};
}

int runAgainst(const Options& options, std::ostream& out, std::ostream& err) {
  constexpr int kFailure = 1;
  const std::string self = selfPath();
  const std::string& other = options.againstPath;
  std::vector<Cell> cells = planCells(options, selectMaps(options.maps));
  if (const std::optional<std::string> refusal = memoryRefusal(cells)) {
    err << "mapbench: " << *refusal << "\n";
    return kUsageError;
  }
  TempDirectory directory;
  if (self.empty() || !directory.ok()) {
    err << "mapbench: --against: "
        << (self.empty() ? "cannot find this program's own file"
                         : "cannot make a temporary directory")
        << "\n";
    return kFailure;
  }
  std::vector<std::string> flags = {"--no-progress"};
  if (options.inProcess)
    flags.push_back("--in-process");
  if (options.hugePages)
    flags.push_back("--huge-pages");
  if (options.count)
    flags.push_back("--count");
  const std::string builds[2] = {self, other};  // [0] is judged against [1]
  ResultSet sides[2];
  sides[0].name = self;
  sides[1].name = other;

  // A status line on a terminal: a cell of a large sweep can take minutes.
  const bool showProgress = !options.noProgress && ::isatty(STDERR_FILENO) == 1;
  // Clears the status line, so that an error line stands alone.
  auto fail = [&]() -> std::ostream& { return err << (showProgress ? "\r\033[K" : ""); };
  for (size_t cellIndex = 0; cellIndex < cells.size(); ++cellIndex) {
    const Cell& cell = cells[cellIndex];
    std::vector<std::string> names, treeNames, pairs;
    for (const Measurement& measurement : cell.measurements) {
      if (std::find(names.begin(), names.end(), measurement.map) == names.end()) {
        names.push_back(measurement.map);
        if (measurement.usesTreeParameters)
          treeNames.push_back(measurement.map);
      }
      const std::string pair = std::to_string(measurement.parameters.k) + ":" +
                               std::to_string(measurement.parameters.k_star);
      if (measurement.usesTreeParameters &&
          std::find(pairs.begin(), pairs.end(), pair) == pairs.end())
        pairs.push_back(pair);
    }
    if (names.empty())
      continue;
    const std::string where = "key space " + std::to_string(cell.config.keySpace) + ", " +
                              std::string(test::distributionName(cell.config.distribution));
    std::vector<std::string> base = workloadArguments(cell.config);
    base.insert(base.end(), flags.begin(), flags.end());

    // Both builds must deliver the same values: the maps without parameters once, the trees
    // with every pair.
    for (size_t p = 0; p < std::max<size_t>(pairs.size(), 1); ++p) {
      const std::vector<std::string>& checked = p == 0 ? names : treeNames;
      if (checked.empty())
        continue;
      std::vector<std::string> args = base;
      args.insert(args.end(), {"--check", "-m", joined(checked)});
      if (!pairs.empty()) {
        const size_t colon = pairs[p].find(':');
        args.insert(args.end(),
                    {"-k", pairs[p].substr(0, colon), "--k-star", pairs[p].substr(colon + 1)});
      }
      std::map<std::string, CheckLine> figures[2];
      for (int side = 0; side < 2; ++side) {
        const ChildRun run = runChild(builds[side], args, directory);
        if (!run.ok) {
          fail() << "mapbench: --against: the --check run of " << builds[side] << " at " << where
                 << " failed: " << run.failure << "\n";
          return kFailure;
        }
        figures[side] = parseCheck(run.out);
      }
      if (const std::optional<std::string> difference =
              checkDifference(figures[0], figures[1], checked)) {
        fail() << "mapbench: --against: the builds differ at " << where
               << (pairs.empty() ? "" : ", k:k_star " + pairs[p]) << ": " << *difference << "\n";
        return kFailure;
      }
    }

    // The timed pairs, in turns.
    std::vector<std::string> args = base;
    args.insert(args.end(), {"-m", joined(names), "-r", "1", "--json",
                             directory.file(TempDirectory::kResults)});
    if (!pairs.empty())
      args.insert(args.end(), {"--k-pairs", joined(pairs)});
    std::map<std::string, std::vector<Json>> runs[2];
    std::vector<std::string> order;
    for (int pair = 0; pair < options.repetitions; ++pair) {
      for (int side = 0; side < 2; ++side) {
        if (showProgress) {
          err << "\rmapbench --against: cell " << cellIndex + 1 << "/" << cells.size() << ", pair "
              << pair + 1 << "/" << options.repetitions << ", " << (side == 0 ? "new" : "base")
              << " build " << std::flush;
        }
        const ChildRun run = runChild(builds[side], args, directory);
        ResultSet results;
        std::string error;
        if (!run.ok || !readResults(directory.file(TempDirectory::kResults), results, error)) {
          fail() << "mapbench: --against: the run of " << builds[side] << " at " << where
                 << " failed: " << (run.ok ? error : run.failure) << "\n";
          return kFailure;
        }
        if (sides[side].context.empty())
          sides[side].context = results.context;
        for (const Json& row : results.rows) {
          const std::string key = rowKey(row, true);
          if (pair == 0 && side == 0)
            order.push_back(key);
          runs[side][key].push_back(row);
        }
      }
    }
    for (const std::string& key : order) {
      for (int side = 0; side < 2; ++side) {
        const std::vector<Json>& list = runs[side][key];
        if (list.size() != static_cast<size_t>(options.repetitions)) {
          fail() << "mapbench: --against: " << builds[side] << " did not report every run at "
                 << where << "\n";
          return kFailure;
        }
        sides[side].rows.push_back(mergeRuns(list));
      }
    }
  }

  if (showProgress)
    fail() << std::flush;
  Comparison comparison = compareResults(sides[1], sides[0], options.alpha);
  comparison.interleaved = true;
  for (RowComparison& row : comparison.rows) {
    for (size_t i = 0; i < row.newTimes.size() && i < row.baseTimes.size(); ++i) {
      if (row.baseTimes[i] > 0)
        row.pairRatios.push_back(row.newTimes[i] / row.baseTimes[i]);
    }
  }
  if (options.count) {
    out << "mapbench --against --count: both builds counted every cell under valgrind's cache "
           "simulation;\nboth builds pushed the same values in every cell.\n";
  } else {
    out << "mapbench --against: " << options.repetitions
        << (options.repetitions == 1 ? " pair" : " pairs")
        << " of runs per cell, in turns (new, base, new, base, ...), each run a separate "
           "invocation;\nboth builds pushed the same values in every cell.\n";
  }
  return reportComparison(comparison, sides[1], sides[0], options.jsonPath, options.failAbove, out,
                          err);
}

}  // namespace bench
