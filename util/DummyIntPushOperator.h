// DummyIntPushOperator: a push operator that ignores everything it receives.
//
// The workload hands it to every query, so that a query costs only the map's own work.
#ifndef UTIL_DUMMY_INT_PUSH_OPERATOR_H_
#define UTIL_DUMMY_INT_PUSH_OPERATOR_H_

#include "util/IntPushOperator.h"

namespace util {

class DummyIntPushOperator final : public IntPushOperator {
 public:
  void pass(int32_t value) override;
  void pass(std::span<const int32_t> values) override;
  void thatsallfolks() override;
};

}  // namespace util

#endif  // UTIL_DUMMY_INT_PUSH_OPERATOR_H_
