// FakeOutputStream: an OutputStream for tests that keeps every write and counts every call,
// and can be told to fail from a given write on, or on flush or close.
//
// A failing call throws util::IOError, as a real stream does. Not thread-safe.
#ifndef TESTS_SUPPORT_FAKE_OUTPUT_STREAM_H_
#define TESTS_SUPPORT_FAKE_OUTPUT_STREAM_H_

#include <string>
#include <string_view>
#include <vector>

#include "util/IOError.h"
#include "util/OutputStream.h"

namespace test {

class FakeOutputStream final : public util::OutputStream {
 public:
  // Write number `failFromWrite` (counted from 0) and every later one fail; -1: none.
  explicit FakeOutputStream(int failFromWrite = -1) : failFromWrite(failFromWrite) {}

  void write(std::string_view bytes) override {
    ++writeCalls;
    if (failFromWrite >= 0 && writeCalls > failFromWrite) {
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

  // Everything written, in one piece.
  std::string text() const {
    std::string all;
    for (const std::string& piece : writes)
      all += piece;
    return all;
  }

  int failFromWrite;
  bool failFlush = false;
  bool failClose = false;
  std::vector<std::string> writes;  // the accepted writes, one element each
  int writeCalls = 0;               // including failed ones
  int failedWrites = 0;
  int flushes = 0;
  int closes = 0;
};

}  // namespace test

#endif  // TESTS_SUPPORT_FAKE_OUTPUT_STREAM_H_
