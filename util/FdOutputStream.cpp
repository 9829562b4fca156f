#include "util/FdOutputStream.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "util/IOError.h"

namespace util {

namespace {

std::string describe(const char* operation, int fd, int error) {
  return std::string(operation) + " on file descriptor " + std::to_string(fd) +
         " failed: " + std::strerror(error);
}

}  // namespace

FdOutputStream::FdOutputStream(int fd) : fd_(fd) {}

void FdOutputStream::requireOpen(const char* operation) const {
  if (closed_) {
    throw IOError(std::string(operation) + " on file descriptor " + std::to_string(fd_) +
                  " failed: stream closed");
  }
}

void FdOutputStream::write(std::string_view bytes) {
  requireOpen("write");
  if (fd_ == STDOUT_FILENO) {
    std::cout.flush();
    std::fflush(stdout);
  }
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      throw IOError(describe("write", fd_, errno));
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void FdOutputStream::flush() {
  // Nothing is buffered here; a flush only checks that the stream is still usable.
  requireOpen("flush");
}

void FdOutputStream::close() {
  requireOpen("close");
  closed_ = true;
  if (::close(fd_) != 0 && errno != EINTR)
    throw IOError(describe("close", fd_, errno));
}

}  // namespace util
