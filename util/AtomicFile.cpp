#include "util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

}  // namespace

std::optional<std::string> writeFileAtomically(const std::string& path,
                                               const std::function<void(std::ostream&)>& write) {
  auto failure = [&path](int error) {
    return "could not write " + path + ": " + std::strerror(error);
  };
  if (path.empty())
    return failure(ENOENT);
  // A symbolic link stays; the file it names is replaced.
  std::string target = path;
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const bool exists = ::stat(target.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode))
    return failure(EISDIR);
  if (exists && !S_ISREG(status.st_mode)) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
      return failure(errno);
    const int error = writeThrough(fd, write, false);
    return error == 0 ? std::nullopt : std::optional(failure(error));
  }

  // The temporary file: ".NAME.PID-N" beside the target, created afresh (never an old file).
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
