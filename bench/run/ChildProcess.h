// ChildProcess: the one way the harness runs a child process, and what it keeps of one.
//
// runChild() runs a forked function (a timed run in a fresh heap) or another program (a
// counted run under valgrind, another build under --against) in a process group of its own,
// with standard input on /dev/null, standard output (and, unless kept, standard error) read
// through pipes and kept up to a bound, the files it writes bounded in size (and, in a folder
// given, in total), and a time limit. A flood, the time limit, too many files, or an
// interruption ends the child's whole group with SIGKILL; the child is also killed when
// mapbench itself dies (PR_SET_PDEATHSIG), so that no child outlives it.
//
// Process state: while an InterruptScope lives, SIGINT, SIGTERM, SIGHUP and SIGQUIT (those
// mapbench was not started to ignore) are caught, without restarting system calls, and noted;
// runChild() sees the note, ends its child's group and fails with "interrupted". The outermost
// scope, once the callers have unwound (their TempDirectory folders removed), puts the previous
// handlers back and ends mapbench by the same signal. runChild() holds a scope of its own, so a
// child is never left behind even when its caller holds none.
//
// Failure rule: runChild() returns a ChildRun whose `failure` is one line when it did not
// exit with status 0 within its limits. Not thread-safe: one child at a time, from one thread.
#ifndef BENCH_RUN_CHILD_PROCESS_H_
#define BENCH_RUN_CHILD_PROCESS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// A new folder under $TMPDIR (/tmp when unset or empty) named <prefix>-XXXXXX, removed with
// everything in it when the object goes.
class TempDirectory {
 public:
  explicit TempDirectory(const std::string& prefix);
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // False when the folder could not be made (file() then names nothing usable).
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string file(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Catches the interrupting signals while it lives; nests (only the outermost one acts). When
// the outermost one goes and a signal was caught, mapbench ends by that signal.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  // The signal caught so far, or 0.
  static int caught();
};

// The longest line of a child's output a message quotes.
inline constexpr size_t kQuoteBound = 300;

// The last line of `text` that holds more than blanks, without trailing blanks, at most
// `bound` characters ("..." after a cut) and printable (control bytes become '?'); "" when
// there is none.
std::string lastLine(const std::string& text, size_t bound = kQuoteBound);

// What is kept of a child's standard output and of its error by default: a run's table or
// --check figures take a few KiB; more is a flood, and ends the child.
inline constexpr size_t kChildOutputBound = size_t{1} << 20;

struct ChildRequest {
  // The program and its arguments; empty: `body` runs in a forked copy of this process and
  // its return value is the exit status.
  std::vector<std::string> argv{};
  std::function<int()> body{};
  // The program's environment; nothing: this process's.
  std::optional<std::vector<std::string>> environment{};
  bool fixedAddresses = false;             // address-space randomisation off for the child
  bool keepStandardError = false;          // the child writes to this process's standard error
  int timeLimitSeconds = 0;                // 0: none
  size_t outputBound = kChildOutputBound;  // of standard output, and of standard error, each
  int64_t fileBound = -1;                  // the largest file the child may write; negative: any
  // A folder of the child's own whose files may take at most folderBound bytes together.
  std::string folder{};
  int64_t folderBound = -1;
};

struct ChildRun {
  bool ok = false;  // exited with status 0 within its limits
  std::string out, err;
  std::string failure;  // why it did not, one line: "exit status 3: <its last line>", ...
  bool interrupted = false;
};

// Runs the child and waits for it, or ends its group at the first limit it crosses.
ChildRun runChild(const ChildRequest& request);

// This program's own file (/proc/self/exe), or "".
std::string selfPath();

}  // namespace bench

#endif  // BENCH_RUN_CHILD_PROCESS_H_
