#include "util/IntPushOperator.h"

namespace util {

IntPushOperator::~IntPushOperator() = default;

}  // namespace util
