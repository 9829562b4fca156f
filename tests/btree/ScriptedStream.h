// ScriptedStream: an OutputStream for tests that records every call and can be told to
// fail from a given write on.
#ifndef TESTS_BTREE_SCRIPTED_STREAM_H_
#define TESTS_BTREE_SCRIPTED_STREAM_H_

#include <string>
#include <string_view>
#include <vector>

#include "util/IOError.h"
#include "util/OutputStream.h"

namespace test {

class ScriptedStream final : public util::OutputStream {
 public:
  // Writes number `failFromWrite` (counted from 0) and all later ones throw IOError;
  // -1 never fails.
  explicit ScriptedStream(int failFromWrite = -1) : failFromWrite_(failFromWrite) {}

  void write(std::string_view bytes) override {
    ++writeCalls;
    if (failFromWrite_ >= 0 && writeCalls > failFromWrite_)
      throw util::IOError("scripted write failure");
    writes.emplace_back(bytes);
  }
  void flush() override { ++flushCalls; }
  void close() override { ++closeCalls; }

  std::string text() const {
    std::string all;
    for (const auto& piece : writes)
      all += piece;
    return all;
  }

  std::vector<std::string> writes;  // the accepted writes, one element each
  int writeCalls = 0;               // including failed ones
  int flushCalls = 0;
  int closeCalls = 0;

 private:
  int failFromWrite_;
};

}  // namespace test

#endif  // TESTS_BTREE_SCRIPTED_STREAM_H_
