#include "util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <streambuf>

namespace util {

namespace {

// A stream buffer that writes to a file descriptor and keeps the first error: once a write
// has failed nothing more is written, so no byte is lost silently in the middle of a file.
class FdBuffer final : public std::streambuf {
 public:
  explicit FdBuffer(int fd) : fd_(fd), buffer_(size_t{1} << 16) { resetPut(); }

  // The errno of the first failed write, or 0.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override {
    if (!drain())
      return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return drain() ? 0 : -1; }

 private:
  void resetPut() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

  bool drain() {
    const char* bytes = pbase();
    size_t left = static_cast<size_t>(pptr() - pbase());
    resetPut();
    while (error_ == 0 && left > 0) {
      const ssize_t n = ::write(fd_, bytes, left);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        error_ = n < 0 ? errno : EIO;
        break;
      }
      bytes += n;
      left -= static_cast<size_t>(n);
    }
    return error_ == 0;
  }

  int fd_;
  int error_ = 0;
  std::vector<char> buffer_;
};

// Writes with `write` through `fd`; the errno of the failure, or 0. Closes `fd`.
int writeThrough(int fd, const std::function<void(std::ostream&)>& write, bool sync) {
  FdBuffer buffer(fd);
  int error = 0;
  try {
    std::ostream out(&buffer);
    write(out);
    out.flush();
    error = buffer.error() != 0 ? buffer.error() : (out ? 0 : EIO);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (error == 0 && sync && ::fsync(fd) != 0)
    error = errno;
  if (::close(fd) != 0 && error == 0)
    error = errno;
  return error;
}

// Removes the temporary file unless it was renamed over the target.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!kept_)
      ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  void keep() { kept_ = true; }

 private:
  std::string path_;
  bool kept_ = false;
};

std::string normalised(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error)
    return std::filesystem::path(path).lexically_normal().string();
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : canonical).string();
}

// An existing file that is not a regular one: a device, a pipe, a terminal.
bool isSpecialFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

// Ignores SIGXFSZ while it lives, where the signal would end the process: a write beyond the
// file-size limit then fails with EFBIG, and the temporary file is removed, not left behind.
class FileSizeSignalIgnored {
 public:
  FileSizeSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::sigaction(SIGXFSZ, nullptr, &previous_) == 0 && previous_.sa_handler == SIG_DFL)
      changed_ = ::sigaction(SIGXFSZ, &ignore, nullptr) == 0;
  }
  FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
  FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;
  ~FileSizeSignalIgnored() {
    if (changed_)
      ::sigaction(SIGXFSZ, &previous_, nullptr);
  }

 private:
  struct sigaction previous_ {};
  bool changed_ = false;
};

// A descriptor of this process open for writing on the file `status` describes (standard
// output redirected to it, say), or -1. Such a file is written through that descriptor: a
// replacement would leave the descriptor writing into the unlinked old file.
int openDescriptorOn(const struct stat& status) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const std::string name = entry.path().filename().string();
    char* end = nullptr;
    const long fd = std::strtol(name.c_str(), &end, 10);
    if (end == name.c_str() || *end != '\0' || fd < 0 || fd > INT_MAX)
      continue;
    struct stat open {};
    const int flags = ::fcntl(static_cast<int>(fd), F_GETFL);
    if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY &&
        ::fstat(static_cast<int>(fd), &open) == 0 && open.st_dev == status.st_dev &&
        open.st_ino == status.st_ino)
      return static_cast<int>(fd);
  }
  return -1;
}

// Writes at the descriptor's own offset (and append mode), after what the standard streams
// still hold, so that both reach the file.
int writeThroughDescriptor(int fd, const std::function<void(std::ostream&)>& write) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0)
    return errno;
  return writeThrough(copy, write, false);
}

}  // namespace

std::optional<std::string> writableRefusal(const std::string& path) {
  auto failure = [&path](const std::string& reason) {
    return "could not write " + path + ": " + reason;
  };
  if (path.empty())
    return failure(std::strerror(ENOENT));
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0)
    return S_ISDIR(status.st_mode) ? std::optional(failure(std::strerror(EISDIR))) : std::nullopt;
  // A link that names nothing is never replaced: the file it was meant to reach would not get
  // the output.
  if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
    return failure("a symbolic link whose target does not exist or cannot be resolved");
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (::stat(folder.c_str(), &status) != 0)
    return failure(std::strerror(errno));
  if (!S_ISDIR(status.st_mode))
    return failure(std::strerror(ENOTDIR));
  return std::nullopt;
}

std::optional<std::string> writeFileAtomically(const std::string& path,
                                               const std::function<void(std::ostream&)>& write) {
  auto failure = [&path](int error) {
    return "could not write " + path + ": " + std::strerror(error);
  };
  if (std::optional<std::string> refusal = writableRefusal(path))
    return refusal;
  const FileSizeSignalIgnored fileSizeSignal;
  struct stat status {};
  const bool exists = ::stat(path.c_str(), &status) == 0;
  // Devices, pipes, terminals, /dev/stdout and /proc/self/fd/N on them: written in place.
  if (exists && !S_ISREG(status.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
      return failure(errno);
    const int error = writeThrough(fd, write, false);
    return error == 0 ? std::nullopt : std::optional(failure(error));
  }
  if (exists) {
    if (const int fd = openDescriptorOn(status); fd >= 0) {
      const int error = writeThroughDescriptor(fd, write);
      return error == 0 ? std::nullopt : std::optional(failure(error));
    }
  }
  // A symbolic link stays; the file it names is replaced.
  std::string target = path;
  if (exists) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
      return failure(errno);
    target = real;
    std::free(real);
  }

  // The temporary file: ".NAME.PID-N" inside the target's folder, created afresh (never an
  // old file).
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  static std::atomic<unsigned> counter{0};
  int fd = -1;
  std::string temporaryPath;
  for (int attempt = 0; fd < 0; ++attempt) {
    temporaryPath = (slash == std::string::npos ? "" : folder) + "." + name.substr(0, 200) + "." +
                    std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100))
      return failure(errno);
  }
  TemporaryFile temporary(temporaryPath);
  if (exists)
    ::fchmod(fd, status.st_mode & 07777);  // the replacement keeps the old file's permissions
  int error = writeThrough(fd, write, true);
  if (error == 0 && ::rename(temporary.path().c_str(), target.c_str()) != 0)
    error = errno;
  if (error != 0)
    return failure(error);
  temporary.keep();
  // The rename itself reaches the disk with the folder.
  if (const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return std::nullopt;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  const bool firstExists = ::stat(a.c_str(), &first) == 0;
  const bool secondExists = ::stat(b.c_str(), &second) == 0;
  if (firstExists && secondExists)
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  return firstExists == secondExists && normalised(a) == normalised(b);
}

std::optional<std::string> outputClash(const std::vector<NamedPath>& inputs,
                                       const std::vector<NamedPath>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    const NamedPath& output = outputs[i];
    if (output.path.empty() || isSpecialFile(output.path))
      continue;
    auto clash = [&output](const NamedPath& other) -> std::optional<std::string> {
      if (other.path.empty() || !sameFile(output.path, other.path))
        return std::nullopt;
      return output.name + " " + output.path + " names the same file as " + other.name + " " +
             other.path;
    };
    for (const NamedPath& input : inputs) {
      if (std::optional<std::string> line = clash(input))
        return line;
    }
    for (size_t j = 0; j < i; ++j) {
      if (std::optional<std::string> line = clash(outputs[j]))
        return line;
    }
  }
  return std::nullopt;
}

}  // namespace util
