#include "util/IdentityNumber.h"

namespace util {

int32_t IdentityNumber::next() {
  // 1 .. 2^31 - 1, then around again: numbers stay positive and the counter never
  // overflows. Only a program that prints over two billion objects could see a repeat.
  static uint32_t counter = 0;
  counter = counter % 0x7FFFFFFFu + 1;
  return static_cast<int32_t>(counter);
}

}  // namespace util
