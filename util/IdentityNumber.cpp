#include "util/IdentityNumber.h"

namespace util {

int32_t IdentityNumber::next() {
  static int32_t counter = 0;
  return ++counter;
}

}  // namespace util
