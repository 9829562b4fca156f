// CapturedStream: redirects std::cout or std::cerr into a string for its lifetime, for
// tests of what code prints. Not thread-safe.
#ifndef TESTS_SUPPORT_CAPTURED_STREAM_H_
#define TESTS_SUPPORT_CAPTURED_STREAM_H_

#include <iostream>
#include <sstream>
#include <string>

namespace test {

class CapturedStream {
 public:
  explicit CapturedStream(std::ostream& stream)
      : stream_(stream), old_(stream.rdbuf(buffer_.rdbuf())) {}
  ~CapturedStream() { stream_.rdbuf(old_); }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  std::string str() const { return buffer_.str(); }

 private:
  std::ostream& stream_;
  std::ostringstream buffer_;
  std::streambuf* old_;
};

}  // namespace test

#endif  // TESTS_SUPPORT_CAPTURED_STREAM_H_
