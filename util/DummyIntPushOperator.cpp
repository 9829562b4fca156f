#include "util/DummyIntPushOperator.h"

namespace util {

void DummyIntPushOperator::pass(int32_t) {}
void DummyIntPushOperator::pass(std::span<const int32_t>) {}
void DummyIntPushOperator::thatsallfolks() {}

}  // namespace util
