// FdOutputStream: an unbuffered OutputStream over a POSIX file descriptor.
//
// Every write() goes straight to the descriptor, retried until all bytes are out, so a
// failure (a full disk, a closed descriptor, a pipe whose reader has gone) surfaces as an
// IOError from the write that hit it. When the descriptor is standard output, text that the
// program printed earlier through std::cout or stdio is flushed first, so the two reach the
// terminal in program order. close() closes the descriptor; the stream does not close it on
// destruction, since the descriptor belongs to whoever opened it.
//
// A process that writes to a pipe should ignore SIGPIPE, so that a vanished reader becomes
// an IOError (EPIPE) instead of killing the process.
#ifndef UTIL_FD_OUTPUT_STREAM_H_
#define UTIL_FD_OUTPUT_STREAM_H_

#include "util/OutputStream.h"

namespace util {

class FdOutputStream final : public OutputStream {
 public:
  explicit FdOutputStream(int fd);

  void write(std::string_view bytes) override;
  void flush() override;
  void close() override;

 private:
  void requireOpen(const char* operation) const;

  int fd_;
  bool closed_ = false;
};

}  // namespace util

#endif  // UTIL_FD_OUTPUT_STREAM_H_
