// Subprocess: runs a built program with chosen standard streams, for end-to-end tests.
//
// Standard output can be captured, sent to a file such as /dev/full, closed, or sent into a
// pipe whose reading end is already closed. Standard error is always captured. A program
// that has not finished after the time limit is killed, so a hang fails the test instead of
// blocking the suite. A file-size limit (RLIMIT_FSIZE, with SIGXFSZ ignored so that a write
// beyond it fails with EFBIG) tries the program's handling of a write that fails midway.
// processEnded() tells whether a process the program started is gone.
#ifndef TESTS_SUPPORT_SUBPROCESS_H_
#define TESTS_SUPPORT_SUBPROCESS_H_

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace test {

enum class StdoutMode { kCapture, kDevFull, kClosed, kBrokenPipe };

struct ProcessResult {
  bool exited = false;  // ended by exit(), not by a signal or the time limit
  int exitStatus = -1;  // when exited
  int signal = 0;       // the signal that ended it, if any
  bool timedOut = false;
  std::string out, err;
};

// `fileSizeLimit` bytes at most per file the program writes; negative: no limit.
inline ProcessResult runProgram(const std::string& path, const std::vector<std::string>& args,
                                StdoutMode mode = StdoutMode::kCapture, int timeoutSeconds = 60,
                                int64_t fileSizeLimit = -1) {
  int outPipe[2] = {-1, -1}, errPipe[2];
  if (mode == StdoutMode::kCapture || mode == StdoutMode::kBrokenPipe) {
    if (::pipe(outPipe) != 0)
      return {};
  }
  if (::pipe(errPipe) != 0)
    return {};
  if (mode == StdoutMode::kBrokenPipe) {
    ::close(outPipe[0]);  // nobody will ever read
    outPipe[0] = -1;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGPIPE, SIG_DFL);  // the program must protect itself, as from a shell
    if (fileSizeLimit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::dup2(errPipe[1], STDERR_FILENO);
    if (mode == StdoutMode::kDevFull) {
      const int full = ::open("/dev/full", O_WRONLY);
      ::dup2(full, STDOUT_FILENO);
    } else if (mode == StdoutMode::kClosed) {
      ::close(STDOUT_FILENO);
    } else {
      ::dup2(outPipe[1], STDOUT_FILENO);
    }
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
      if (fd > STDERR_FILENO)
        ::close(fd);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  if (outPipe[1] >= 0)
    ::close(outPipe[1]);
  ::close(errPipe[1]);

  ProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  std::vector<pollfd> fds;
  if (outPipe[0] >= 0)
    fds.push_back({outPipe[0], POLLIN, 0});
  fds.push_back({errPipe[0], POLLIN, 0});
  while (!fds.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      ::kill(child, SIGKILL);
      break;
    }
    if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0)
      continue;
    for (size_t i = 0; i < fds.size();) {
      if (fds[i].revents == 0) {
        ++i;
        continue;
      }
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (fds[i].fd == errPipe[0] ? result.err : result.out).append(buffer, n);
        ++i;
      } else {
        ::close(fds[i].fd);
        fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  for (const pollfd& fd : fds)
    ::close(fd.fd);
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exited = WIFEXITED(status);
  result.exitStatus = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

// Whether process `pid` has ended, waiting up to `seconds` for it: a zombie waiting for its
// parent (or for init, which reaps orphans when it gets round to it) counts as ended.
inline bool processEnded(pid_t pid, int seconds = 5) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (true) {
    if (::kill(pid, 0) != 0)
      return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');  // the state follows the command's name
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z')
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    ::usleep(50'000);
  }
}

}  // namespace test

#endif  // TESTS_SUPPORT_SUBPROCESS_H_
