// IdentityNumber: the number that names an object in text and graph output.
//
// A number is handed out the first time it is asked for, from one process-wide counter
// starting at 1, and then stays with the object for its lifetime. So numbers are distinct
// for distinct objects and cost nothing until something is printed. Copying an object
// gives the copy no number of its own until it is asked for. Not thread-safe.
#ifndef UTIL_IDENTITY_NUMBER_H_
#define UTIL_IDENTITY_NUMBER_H_

#include <cstdint>

namespace util {

class IdentityNumber {
 public:
  IdentityNumber() = default;
  IdentityNumber(const IdentityNumber&) {}
  IdentityNumber& operator=(const IdentityNumber&) { return *this; }

  int32_t get() const {
    if (value_ == 0)
      value_ = next();
    return value_;
  }

  // A number never handed out before (until the counter wraps), for objects that keep their
  // number elsewhere.
  static int32_t next();

 private:
  mutable int32_t value_ = 0;
};

}  // namespace util

#endif  // UTIL_IDENTITY_NUMBER_H_
