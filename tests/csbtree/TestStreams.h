// Stream doubles for the CSB+-tree's output tests.
#ifndef TESTS_CSBTREE_TEST_STREAMS_H_
#define TESTS_CSBTREE_TEST_STREAMS_H_

#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "util/IOError.h"
#include "util/OutputStream.h"

namespace test {

// An OutputStream that keeps every write and can be told to fail.
class FakeOutputStream final : public util::OutputStream {
 public:
  void write(std::string_view bytes) override {
    if (failFromWrite >= 0 && static_cast<int>(writes.size()) + failedWrites >= failFromWrite) {
      ++failedWrites;
      throw util::IOError("write failed on purpose");
    }
    writes.emplace_back(bytes);
  }
  void flush() override {
    ++flushes;
    if (failFlush)
      throw util::IOError("flush failed on purpose");
  }
  void close() override {
    ++closes;
    if (failClose)
      throw util::IOError("close failed on purpose");
  }

  std::string text() const {
    std::string all;
    for (const std::string& piece : writes)
      all += piece;
    return all;
  }

  int failFromWrite = -1;  // the 0-based write from which on every write fails; -1: none
  bool failFlush = false;
  bool failClose = false;
  std::vector<std::string> writes;
  int failedWrites = 0;
  int flushes = 0;
  int closes = 0;
};

// Redirects std::cout or std::cerr into a string for its lifetime.
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

#endif  // TESTS_CSBTREE_TEST_STREAMS_H_
