// IOError: the failure of a write, flush or close on an OutputStream.
//
// It is the only exception the diagnostics catch: graph output reports it and carries on.
// what() says which operation failed, on what, and why.
#ifndef UTIL_IO_ERROR_H_
#define UTIL_IO_ERROR_H_

#include <stdexcept>
#include <string>

namespace util {

class IOError : public std::runtime_error {
 public:
  explicit IOError(const std::string& message);
};

}  // namespace util

#endif  // UTIL_IO_ERROR_H_
