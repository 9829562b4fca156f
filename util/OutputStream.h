// OutputStream: a byte sink with write, flush and close, as the graph output needs it.
//
// Each operation may fail with util::IOError. After close() the stream cannot be used:
// further calls fail with IOError. Implementations are not thread-safe.
#ifndef UTIL_OUTPUT_STREAM_H_
#define UTIL_OUTPUT_STREAM_H_

#include <string_view>

namespace util {

class OutputStream {
 public:
  virtual ~OutputStream();

  // Writes all of `bytes` or throws IOError.
  virtual void write(std::string_view bytes) = 0;
  // Pushes buffered bytes to their destination or throws IOError.
  virtual void flush() = 0;
  // Releases the destination or throws IOError.
  virtual void close() = 0;
};

}  // namespace util

#endif  // UTIL_OUTPUT_STREAM_H_
