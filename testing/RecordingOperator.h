// RecordingOperator: a push operator for tests that keeps everything it receives.
#ifndef TESTS_SUPPORT_RECORDING_OPERATOR_H_
#define TESTS_SUPPORT_RECORDING_OPERATOR_H_

#include <cstdint>
#include <span>
#include <vector>

#include "util/IntPushOperator.h"

namespace test {

class RecordingOperator final : public util::IntPushOperator {
 public:
  void pass(int32_t value) override {
    values.push_back(value);
    if (endCalls > 0)
      passedAfterEnd = true;
  }
  void pass(std::span<const int32_t> more) override {
    values.insert(values.end(), more.begin(), more.end());
    if (endCalls > 0 && !more.empty())
      passedAfterEnd = true;
  }
  void thatsallfolks() override { ++endCalls; }

  // Forgets what was received, for the next query.
  void reset() {
    values.clear();
    endCalls = 0;
    passedAfterEnd = false;
  }

  std::vector<int32_t> values;
  int endCalls = 0;
  bool passedAfterEnd = false;  // a value arrived after thatsallfolks()
};

}  // namespace test

#endif  // TESTS_SUPPORT_RECORDING_OPERATOR_H_
