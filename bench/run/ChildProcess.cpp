#include "bench/run/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/personality.h>
#include <sys/prctl.h>
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
#include <iostream>
#include <sstream>
#include <system_error>

namespace bench {

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kInterruptCount = sizeof kInterrupts / sizeof kInterrupts[0];

// The signal that interrupted, or 0; the scopes alive, and the handlers they replaced.
volatile std::sig_atomic_t interruptedBy = 0;
int scopeDepth = 0;
struct sigaction previousHandlers[kInterruptCount];

extern "C" void noteInterrupt(int signal) {
  interruptedBy = signal;
}

// The bytes of the regular files under `folder`.
int64_t folderBytes(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  int64_t bytes = 0;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code ignored;
    if (it->is_regular_file(ignored))
      bytes += static_cast<int64_t>(it->file_size(ignored));
  }
  return bytes;
}

std::string mebibytes(int64_t bytes) {
  return std::to_string(bytes >> 20) + " MiB";
}

// In the child, after fork: its own group, the signal dispositions mapbench started with, death
// with its parent, the limits and the streams. Returns only on failure.
[[noreturn]] void startChild(const ChildRequest& request, pid_t parent, int outWrite, int errWrite,
                             std::vector<char*>& argv, std::vector<char*>& envp) {
  ::setpgid(0, 0);
  for (int i = 0; i < kInterruptCount; ++i)  // the dispositions mapbench started with
    ::sigaction(kInterrupts[i], &previousHandlers[i], nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent)  // the parent died before the request took hold
    ::_exit(126);
  if (request.fileBound >= 0) {
    const rlimit files{static_cast<rlim_t>(request.fileBound),
                       static_cast<rlim_t>(request.fileBound)};
    if (::setrlimit(RLIMIT_FSIZE, &files) != 0)
      ::_exit(126);
  }
  const int in = ::open("/dev/null", O_RDONLY);
  if (in < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(outWrite, STDOUT_FILENO) < 0 ||
      (!request.keepStandardError && ::dup2(errWrite, STDERR_FILENO) < 0)) {
    ::_exit(126);
  }
  if (request.argv.empty()) {
    const int status = request.body();
    std::cout.flush();
    std::cerr.flush();
    ::_exit(status);
  }
  if (request.fixedAddresses)
    ::personality(ADDR_NO_RANDOMIZE);
  if (request.environment)
    ::execve(argv[0], argv.data(), envp.data());
  else
    ::execv(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

TempDirectory::TempDirectory(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr)
    path_ = pattern;
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  if (!path_.empty())
    std::filesystem::remove_all(path_, ignored);
}

InterruptScope::InterruptScope() {
  if (scopeDepth++ > 0)
    return;
  interruptedBy = 0;
  struct sigaction action {};
  action.sa_handler = noteInterrupt;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < kInterruptCount; ++i) {
    // A signal this process was started to ignore (nohup, a background job) stays ignored.
    ::sigaction(kInterrupts[i], nullptr, &previousHandlers[i]);
    if (previousHandlers[i].sa_handler != SIG_IGN)
      ::sigaction(kInterrupts[i], &action, nullptr);
  }
}

InterruptScope::~InterruptScope() {
  if (--scopeDepth > 0)
    return;
  for (int i = 0; i < kInterruptCount; ++i)
    ::sigaction(kInterrupts[i], &previousHandlers[i], nullptr);
  if (const int signal = interruptedBy; signal != 0) {
    std::cout.flush();
    std::cerr.flush();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

int InterruptScope::caught() {
  return interruptedBy;
}

std::string lastLine(const std::string& text, size_t bound) {
  constexpr const char* kBlanks = " \t\r";
  std::istringstream lines(text);
  std::string last;
  for (std::string line; std::getline(lines, line);) {
    if (line.find_first_not_of(kBlanks) != std::string::npos)
      last = line;
  }
  last.erase(last.find_last_not_of(kBlanks) + 1);
  if (last.size() > bound)
    last = last.substr(0, bound) + "...";
  for (char& c : last) {
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7f')
      c = '?';
  }
  return last;
}

ChildRun runChild(const ChildRequest& request) {
  const InterruptScope scope;
  ChildRun run;
  if (InterruptScope::caught() != 0) {
    run.failure = "interrupted";
    run.interrupted = true;
    return run;
  }
  int outPipe[2], errPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0) {
    run.failure = std::string("pipe: ") + std::strerror(errno);
    return run;
  }
  if (!request.keepStandardError && ::pipe2(errPipe, O_CLOEXEC) != 0) {
    run.failure = std::string("pipe: ") + std::strerror(errno);
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return run;
  }
  // Everything the child needs is made before the fork: it only calls async-signal-safe
  // functions before exec.
  std::vector<char*> argv, envp;
  for (const std::string& arg : request.argv)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (request.environment) {
    for (const std::string& variable : *request.environment)
      envp.push_back(const_cast<char*>(variable.c_str()));
  }
  envp.push_back(nullptr);
  const pid_t parent = ::getpid();
  std::cout.flush();  // a forked body must not write this process's pending output again
  std::cerr.flush();
  const pid_t child = ::fork();
  if (child == 0)
    startChild(request, parent, outPipe[1], errPipe[1], argv, envp);
  ::close(outPipe[1]);
  if (errPipe[1] >= 0)
    ::close(errPipe[1]);
  std::vector<pollfd> fds = {{outPipe[0], POLLIN, 0}};
  if (errPipe[0] >= 0)
    fds.push_back({errPipe[0], POLLIN, 0});
  if (child < 0) {
    for (const pollfd& fd : fds)
      ::close(fd.fd);
    run.failure = std::string("fork: ") + std::strerror(errno);
    return run;
  }
  ::setpgid(child, child);  // as the child does, whichever comes first

  using Clock = std::chrono::steady_clock;
  const auto deadline = request.timeLimitSeconds > 0
                            ? Clock::now() + std::chrono::seconds(request.timeLimitSeconds)
                            : Clock::time_point::max();
  int status = 0;
  bool reaped = false;
  std::string stopped;  // why the group was ended
  while (!(reaped && fds.empty())) {
    if (InterruptScope::caught() != 0) {
      stopped = "interrupted";
      run.interrupted = true;
      break;
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      stopped = "did not finish within the time limit of " +
                std::to_string(request.timeLimitSeconds) + " s (--time-limit)";
      break;
    }
    if (request.folderBound >= 0 && folderBytes(request.folder) > request.folderBound) {
      stopped = "wrote more than " + mebibytes(request.folderBound) + " of files";
      break;
    }
    if (!reaped)
      reaped = ::waitpid(child, &status, WNOHANG) == child;
    // Wakes up at least ten times a second to look at the clock, the child and the signals.
    const int wait = static_cast<int>(std::min<int64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count(), 100));
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
      std::string& kept = isOut ? run.out : run.err;
      kept.append(buffer, static_cast<size_t>(n));
      if (kept.size() > request.outputBound) {
        stopped = "wrote more than " + mebibytes(static_cast<int64_t>(request.outputBound)) +
                  " to its " + (isOut ? "standard output" : "standard error");
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
    if (!reaped) {
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
    }
    run.failure = stopped;
    return run;
  }
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  // What the child started in its group ends with it.
  ::kill(-child, SIGKILL);
  if (WIFSIGNALED(status)) {
    run.failure = std::string("ended by signal ") + strsignal(WTERMSIG(status));
  } else if (!run.ok) {
    // Its own last words, else the end of its output (a size or check failure is there).
    std::string said = lastLine(run.err);
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

}  // namespace bench
